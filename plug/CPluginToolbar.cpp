#include "plug/CPluginToolbar.h"

#include <wx/app.h>

namespace plug {

CPluginToolbar::CPluginToolbar(CGuiAdapter* adapter, wxWindow* parent)
    : wxAuiToolBar(parent ? parent : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr), adapter->getId(ID_TOOLBAR),
                   wxDefaultPosition, wxDefaultSize, wxAUI_TB_GRIPPER),
      CGuiActor(adapter)
{
}

CPluginToolbar::~CPluginToolbar()
{
    setBindings(nullptr);
    releaseAdapter();
}

} // namespace plug
