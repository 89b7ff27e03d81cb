#include "plugins/ostrum/COstrumMenu.h"

#include <wx/intl.h>

namespace ostrum {

bool COstrumMenu::createItems()
{
    if (!CPluginMenu::createItems())
        return false;
    AppendSeparator();
    Append(getAdapter().getId(ID_SAVE_MODEL), wxGetTranslation("Save Model"),
           wxGetTranslation("Saves the surface model."));
    return true;
}

} // namespace ostrum
