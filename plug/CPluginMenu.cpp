#include "plug/CPluginMenu.h"

#include <wx/intl.h>

namespace plug {

CPluginMenu::CPluginMenu(CGuiAdapter* adapter) : wxMenu(), CGuiActor(adapter) {}

CPluginMenu::~CPluginMenu()
{
    setBindings(nullptr);
    releaseAdapter();
}

bool CPluginMenu::createItems()
{
    const CGuiAdapter& adapter = getAdapter();
    AppendCheckItem(adapter.getId(ID_MENU_SHOW_PANEL), wxGetTranslation("Show/Hide Plugin Panel"), wxEmptyString);
    AppendCheckItem(adapter.getId(ID_MENU_SHOW_TOOLBAR), wxGetTranslation("Show/Hide Plugin Toolbar"), wxEmptyString);
    return true;
}

bool CPluginMenu::prepare() { return true; }

} // namespace plug
