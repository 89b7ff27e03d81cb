#include "plugins/parvex/CParvexInterface.h"

#include "plugins/parvex/CParvexMenu.h"
#include "plugins/parvex/CParvexPanel.h"

#include <new>

namespace parvex {

plug::CPluginPanel* CParvexInterface::createPanel(plug::CGuiAdapter* adapter)
{
    return new (std::nothrow) CParvexPanel(adapter);
}

plug::CPluginMenu* CParvexInterface::createMenu(plug::CGuiAdapter* adapter)
{
    return new (std::nothrow) CParvexMenu(adapter);
}

bool CParvexInterface::preConnect(void* host)
{
    if (!CPluginInterface::preConnect(host))
        return false;
    bindMenuCommand(18, [this](wxCommandEvent& event) { onMenuCommand18(event); });
    return true;
}

bool CParvexInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(17, [this](wxCommandEvent& event) { onMenuCommand17(event); });
    return true;
}

void CParvexInterface::onMenuCommand17(wxCommandEvent& event) { event.StopPropagation(); }
void CParvexInterface::onMenuCommand18(wxCommandEvent& event) { event.StopPropagation(); }

} // namespace parvex
