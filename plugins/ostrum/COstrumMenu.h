#pragma once
// The Ostrum plug-in menu: the standard items, a separator and "Save Model" (idBase + 18),
// which the interface binds to the same save as the panel's button.

#include "plug/CPluginMenu.h"

namespace ostrum {

class COstrumMenu : public plug::CPluginMenu
{
public:
    enum EItemIds : std::int32_t
    {
        ID_SAVE_MODEL = 18
    };

    //! The adapter must not be null.
    explicit COstrumMenu(plug::CGuiAdapter* adapter) : CPluginMenu(adapter) {}

    bool createItems() override;
};

} // namespace ostrum
