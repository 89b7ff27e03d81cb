#pragma once
// The Parvex interface: creates the segmentation panel and menu (no toolbar); binds menu commands
// idBase + 18 (pre-connect) and idBase + 17 (connect), whose handlers only stop the event.

#include "plug/CPluginInterface.h"

namespace parvex {

class CParvexInterface : public plug::CPluginInterface
{
public:
    explicit CParvexInterface(std::uint32_t flags) : CPluginInterface(flags) {}

    //! A new CParvexPanel; null when allocation fails.
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override;
    //! A new CParvexMenu; null when allocation fails.
    plug::CPluginMenu* createMenu(plug::CGuiAdapter* adapter) override;
    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool preConnect(void* host) override;
    bool connect(void* host) override;

    virtual void onMenuCommand17(wxCommandEvent& event);
    virtual void onMenuCommand18(wxCommandEvent& event);
};

} // namespace parvex
