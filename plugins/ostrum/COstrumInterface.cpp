#include "plugins/ostrum/COstrumInterface.h"

namespace ostrum {

bool COstrumInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(18, [this](wxCommandEvent& event) { onMenuCommand18(event); });
    return true;
}

void COstrumInterface::onMenuCommand18(wxCommandEvent& event) { event.Skip(); }

} // namespace ostrum
