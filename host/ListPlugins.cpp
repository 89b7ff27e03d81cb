#include "host/ListPlugins.h"

#include "host/CPluginLoader.h"
#include "plug/CPlugin.h"

namespace velmora {

int listPlugins(const std::string& folder, std::ostream& out)
{
    CVelmoraRegistry registry;
    CPluginLoader loader;
    const std::vector<CLoadFailure> failures = loader.loadFolder(folder, registry);
    int listed = 0;
    for (auto& [name, record] : registry.getPrototypes())
    {
        plug::CPlugin* plugin = record.create(0);
        if (!plugin)
        {
            out << "failed: " << record.library << ": cannot create plug-in " << name << '\n';
            continue;
        }
        const plug::CPluginInfo& info = plugin->getInfo();
        out << info.toString() << "  " << info.getDescription() << '\n';
        record.destroy(plugin);
        ++listed;
    }
    for (const CLoadFailure& failure : failures)
        out << "failed: " << failure.file << ": " << failure.reason << '\n';
    return listed;
}

} // namespace velmora
