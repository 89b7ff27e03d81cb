#pragma once
// The Tolvane plug-in object: its description, and creation in global memory.

#include "plug/CPlugin.h"
#include "plugins/tolvane/CTolvaneInterface.h"

namespace tolvane {

class CTolvanePlugin : public plug::CPluginPrototype<CTolvanePlugin, CTolvaneInterface, plug::CCreateInGlobalMem>
{
public:
    explicit CTolvanePlugin(std::uint32_t flags) : CPluginPrototype(flags) {}

    //! The library's one description, built on first use.
    static const plug::CPluginInfo& getPluginInfo();
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace tolvane
