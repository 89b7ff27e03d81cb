#pragma once
// The Ostrum interface: creates the model panel and menu; binds menu command idBase + 18.

#include "plug/CPluginInterface.h"

namespace ostrum {

class COstrumInterface : public plug::CPluginInterface
{
public:
    explicit COstrumInterface(std::uint32_t flags) : CPluginInterface(flags) {}

    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override;

    virtual void onMenuCommand18(wxCommandEvent& event);
};

} // namespace ostrum
