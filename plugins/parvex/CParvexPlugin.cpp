#include "plugins/parvex/CParvexPlugin.h"

namespace parvex {

const plug::CPluginInfo& CParvexPlugin::getPluginInfo()
{
    static const plug::CPluginInfo info("Velmora", "Parvex", "Segmentation", 1, 3);
    return info;
}

} // namespace parvex

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(parvex::CParvexPlugin)
