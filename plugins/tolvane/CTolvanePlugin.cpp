#include "plugins/tolvane/CTolvanePlugin.h"

namespace tolvane {

const plug::CPluginInfo& CTolvanePlugin::getPluginInfo()
{
    static const plug::CPluginInfo info("Velmora", "Tolvane", "Segmentation", 1, 3);
    return info;
}

} // namespace tolvane

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(tolvane::CTolvanePlugin)
