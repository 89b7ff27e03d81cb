// A test-only plug-in library: a real plug-in (entry points, bindings) plus two functions
// that change the host's storage from inside this library through its own copy of the
// framework.

#include "CrossTypes.h"

#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"

namespace crosslib {

class CCrossInterface : public plug::CPluginInterface
{
public:
    using CPluginInterface::CPluginInterface;
};

class CCrossPlugin : public plug::CPluginPrototype<CCrossPlugin, CCrossInterface, plug::CCreateInGlobalMem>
{
public:
    explicit CCrossPlugin(std::uint32_t flags) : CPluginPrototype(flags) {}
    static const plug::CPluginInfo& getPluginInfo()
    {
        static const plug::CPluginInfo info("Velmora", "Cross", "Testing", 1, 0);
        return info;
    }
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace crosslib

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(crosslib::CCrossPlugin)

//! Increments the counter of the host's entry through the plug-in's bindings and announces
//! the change; returns the new value.
extern "C" __attribute__((visibility("default"))) int crossIncrement(plug::CPlugin* plugin)
{
    data::CDataStorage& storage = plugin->getBindings()->getStorage();
    data::CObjectPtr<crosslib::CCounterData> counter(storage.getEntry(crosslib::COUNTER_ENTRY, 3));
    ++counter->value;
    storage.invalidate(counter.getEntry(), 0);
    return counter->value;
}

//! Reads the counter entry as the wrong type; the exception reaches the caller.
extern "C" __attribute__((visibility("default"))) void crossReadWrongType(plug::CPlugin* plugin)
{
    data::CDataStorage& storage = plugin->getBindings()->getStorage();
    data::CObjectPtr<crosslib::CTextData> text(storage.getEntry(crosslib::COUNTER_ENTRY, 3));
    text->text = "never";
}
