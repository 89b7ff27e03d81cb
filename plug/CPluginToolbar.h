#pragma once
// Base of a plug-in toolbar (identifier idBase + 2, gripper style). None of the plug-ins
// has one; it exists as the base behaviour.

#include "plug/CAppBindings.h"

#include <wx/aui/auibar.h>

namespace plug {

class CPluginToolbar : public wxAuiToolBar, public CGuiActor, public CAppActor
{
public:
    //! The adapter must not be null.
    explicit CPluginToolbar(CGuiAdapter* adapter, wxWindow* parent = nullptr);
    ~CPluginToolbar() override;
};

} // namespace plug
