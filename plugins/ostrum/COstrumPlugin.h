#pragma once
// The Ostrum plug-in object: its description, and creation in global memory.

#include "plug/CPlugin.h"
#include "plugins/ostrum/COstrumInterface.h"

namespace ostrum {

class COstrumPlugin : public plug::CPluginPrototype<COstrumPlugin, COstrumInterface, plug::CCreateInGlobalMem>
{
public:
    explicit COstrumPlugin(std::uint32_t flags) : CPluginPrototype(flags) {}

    //! The library's one description, built on first use.
    static const plug::CPluginInfo& getPluginInfo();
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace ostrum
