#include "plugins/tolvane/CTolvaneInterface.h"

namespace tolvane {

bool CTolvaneInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(17, [this](wxCommandEvent& event) { onLoad(event); });
    bindMenuCommand(18, [this](wxCommandEvent& event) { onSave(event); });
    bindMenuCommand(19, [this](wxCommandEvent& event) { onSaveAs(event); });
    return true;
}

// The segmentation file commands arrive with the file format.
void CTolvaneInterface::onLoad(wxCommandEvent& event) { event.Skip(); }
void CTolvaneInterface::onSave(wxCommandEvent& event) { event.Skip(); }
void CTolvaneInterface::onSaveAs(wxCommandEvent& event) { event.Skip(); }

} // namespace tolvane
