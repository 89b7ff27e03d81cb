#pragma once
// The Parvex plug-in object: its description, and creation in global memory.

#include "plug/CPlugin.h"
#include "plugins/parvex/CParvexInterface.h"

namespace parvex {

class CParvexPlugin : public plug::CPluginPrototype<CParvexPlugin, CParvexInterface, plug::CCreateInGlobalMem>
{
public:
    explicit CParvexPlugin(std::uint32_t flags) : CPluginPrototype(flags) {}

    //! The library's one description, built on first use.
    static const plug::CPluginInfo& getPluginInfo();
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace parvex
