#include "plugins/ostrum/COstrumInterface.h"

#include "plugins/ostrum/CModelCommands.h"
#include "plugins/ostrum/COstrumMenu.h"
#include "plugins/ostrum/COstrumPanel.h"

#include <new>

namespace ostrum {

plug::CPluginPanel* COstrumInterface::createPanel(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) COstrumPanel(adapter) : nullptr;
}

plug::CPluginMenu* COstrumInterface::createMenu(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) COstrumMenu(adapter) : nullptr;
}

bool COstrumInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(COstrumMenu::ID_SAVE_MODEL, [this](wxCommandEvent& event) { onMenuCommand18(event); });
    return true;
}

// The interface reaches the storage and the dialogs through its own bindings, so the menu
// saves whether or not the panel is shown.
void COstrumInterface::onMenuCommand18(wxCommandEvent&) { CModelCommands(*this).saveModel(); }

} // namespace ostrum
