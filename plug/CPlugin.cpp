#include "plug/CPlugin.h"

#include "plug/CPluginInterface.h"

namespace plug {

namespace {
const CPluginInfo& getUndefinedInfo()
{
    static const CPluginInfo info("Host", "Undefined", "Undefined", 1, 0);
    return info;
}
} // namespace

CPlugin::CPlugin(std::uint32_t flags)
    : CHasFlags(flags), m_adapter(new CGuiAdapter), m_bindings(new CAppBindings)
{
    m_bindings->setPlugin(this);
}

const CPluginInfo& CPlugin::getInfo() const { return getUndefinedInfo(); }

CPlugin::~CPlugin()
{
    if (m_interface && hasFlag(PLUGIN_OWNS_INTERFACE))
    {
        delete m_interface;
        m_interface = nullptr;
    }
    m_bindings.reset();
    m_adapter.reset();
}

namespace detail {

bool registerPlugin(CPluginRegistry* registry, const CPluginInfo& info, tCreatePluginFunc create,
                    tDestroyPluginFunc destroy) noexcept
{
    if (!registry)
        return false;
    try
    {
        const app::CProductInfo& host = registry->getProductInfo();
        if (info.getHost() != host.getName() || info.getMajor() != host.getMajor() ||
            registry->hasFlag(REGISTRY_REFUSE))
            return false;
        return registry->registerPrototype(info.getName(), create, destroy);
    }
    catch (...)
    {
        return false;
    }
}

} // namespace detail

} // namespace plug
