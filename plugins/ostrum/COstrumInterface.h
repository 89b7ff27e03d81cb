#pragma once
// The Ostrum interface: creates the model panel and menu (no toolbar) and binds the menu's
// "Save Model" (idBase + 18) to the model save of the panel's button.

#include "plug/CPluginInterface.h"

namespace ostrum {

class COstrumInterface : public plug::CPluginInterface
{
public:
    explicit COstrumInterface(std::uint32_t flags) : CPluginInterface(flags) {}

    //! A new COstrumPanel; null without an adapter or when allocation fails.
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override;
    //! A new COstrumMenu; null without an adapter or when allocation fails.
    plug::CPluginMenu* createMenu(plug::CGuiAdapter* adapter) override;
    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override;

    //! "Save Model" from the menu (see CModelCommands::saveModel).
    virtual void onMenuCommand18(wxCommandEvent& event);
};

} // namespace ostrum
