#include "host/CVelmoraRegistry.h"

namespace velmora {

bool CVelmoraRegistry::registerPrototype(const std::string& name, plug::tCreatePluginFunc create,
                                         plug::tDestroyPluginFunc destroy)
{
    if (name.empty() || !create || !destroy)
        return false;
    return m_prototypes.emplace(name, CPrototypeRecord{nullptr, create, destroy, m_currentLibrary}).second;
}

} // namespace velmora
