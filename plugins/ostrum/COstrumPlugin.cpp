#include "plugins/ostrum/COstrumPlugin.h"

namespace ostrum {

const plug::CPluginInfo& COstrumPlugin::getPluginInfo()
{
    static const plug::CPluginInfo info("Velmora", "Ostrum", "Segmentation", 1, 3);
    return info;
}

} // namespace ostrum

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(ostrum::COstrumPlugin)
