#pragma once
// The Tolvane plug-in menu: the standard items, a separator and the segmentation file
// commands "Load Segmentation" (idBase + 17), "Save Segmentation" (+ 18) and "Save
// Segmentation As..." (+ 19), which the interface binds.

#include "plug/CPluginMenu.h"

namespace tolvane {

class CTolvaneMenu : public plug::CPluginMenu
{
public:
    enum EItemIds : std::int32_t
    {
        ID_LOAD_SEGMENTATION = 17,
        ID_SAVE_SEGMENTATION = 18,
        ID_SAVE_SEGMENTATION_AS = 19
    };

    //! The adapter must not be null.
    explicit CTolvaneMenu(plug::CGuiAdapter* adapter) : CPluginMenu(adapter) {}

    bool createItems() override;
};

} // namespace tolvane
