#pragma once
// Base of the plug-in menus that the host adds to its menu bar. createItems appends the two
// standard check items "Show/Hide Plugin Panel" (idBase + 4) and "Show/Hide Plugin Toolbar"
// (idBase + 5); what they do is the host's.

#include "plug/CAppBindings.h"

#include <wx/menu.h>

namespace plug {

class CPluginMenu : public wxMenu, public CGuiActor, public CAppActor
{
public:
    //! The adapter must not be null.
    explicit CPluginMenu(CGuiAdapter* adapter);
    ~CPluginMenu() override;

    //! Appends the standard items and returns true.
    virtual bool createItems();
    //! The base returns true.
    virtual bool prepare();
};

} // namespace plug
