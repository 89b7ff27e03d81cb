#pragma once
// Base of the plug-in panels that the host docks. Window identifier idBase + 1, parented by
// the application's top window.

#include "plug/CAppBindings.h"

#include <wx/panel.h>

namespace plug {

class CPluginPanel : public wxPanel, public CGuiActor, public CAppActor
{
public:
    //! The adapter must not be null.
    explicit CPluginPanel(CGuiAdapter* adapter, wxWindow* parent = nullptr);
    ~CPluginPanel() override;

    //! Hands the call to the window's own Reparent.
    virtual bool reparentTo(wxWindow* newParent);
    //! Builds controls; the base returns true.
    virtual bool prepare();
    //! Binds events and observers; the base returns true. Derived panels call the base
    //! first and bind nothing when it returns false.
    virtual bool connect();
};

} // namespace plug
