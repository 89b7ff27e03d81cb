#include "plugins/tolvane/CTolvaneMenu.h"

#include <wx/intl.h>

namespace tolvane {

bool CTolvaneMenu::createItems()
{
    if (!CPluginMenu::createItems())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    AppendSeparator();
    Append(adapter.getId(ID_LOAD_SEGMENTATION), wxGetTranslation("Load Segmentation"),
           wxGetTranslation("Loads the segmentation from a file."));
    Append(adapter.getId(ID_SAVE_SEGMENTATION), wxGetTranslation("Save Segmentation"),
           wxGetTranslation("Saves results of the segmentation."));
    Append(adapter.getId(ID_SAVE_SEGMENTATION_AS), wxGetTranslation("Save Segmentation As..."),
           wxGetTranslation("Saves results of the segmentation."));
    return true;
}

} // namespace tolvane
