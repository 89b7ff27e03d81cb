#pragma once
// The Tolvane interface: creates the region panel and menu; binds the file commands
// idBase + 17, + 18, + 19 (load, save, save as).

#include "plug/CPluginInterface.h"

namespace tolvane {

class CTolvaneInterface : public plug::CPluginInterface
{
public:
    explicit CTolvaneInterface(std::uint32_t flags) : CPluginInterface(flags) {}

    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override;

    virtual void onLoad(wxCommandEvent& event);
    virtual void onSave(wxCommandEvent& event);
    virtual void onSaveAs(wxCommandEvent& event);
};

} // namespace tolvane
