#include "plug/CPluginPanel.h"

#include <wx/app.h>

namespace plug {

namespace {
wxWindow* topWindow() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }
} // namespace

CPluginPanel::CPluginPanel(CGuiAdapter* adapter, wxWindow* parent)
    : wxPanel(parent ? parent : topWindow(), adapter->getId(ID_PANEL), wxDefaultPosition, wxDefaultSize,
              wxTAB_TRAVERSAL | wxBORDER_NONE, wxPanelNameStr),
      CGuiActor(adapter)
{
}

CPluginPanel::~CPluginPanel()
{
    setBindings(nullptr);
    releaseAdapter();
}

bool CPluginPanel::reparentTo(wxWindow* newParent) { return Reparent(newParent); }
bool CPluginPanel::prepare() { return true; }
bool CPluginPanel::connect() { return true; }

} // namespace plug
