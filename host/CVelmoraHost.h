#pragma once
// Everything the host owns apart from its windows: the object factory and the data storage
// (the instance of the host's own copy of the framework), the scene hub, and the plug-ins.
// Destruction order matters across the library boundary: plug-in windows first (the frame
// does that), then the plug-in objects, then the storage (whose entries may hold objects
// made by plug-in code), and only then are the libraries unloaded.

#include "data/CDataStorage.h"
#include "data/CStorableFactory.h"
#include "host/CPluginHost.h"
#include "plug/CAppSceneHub.h"

#include <memory>

namespace velmora {

class CVelmoraHost
{
public:
    CVelmoraHost();
    ~CVelmoraHost();
    CVelmoraHost(const CVelmoraHost&) = delete;
    CVelmoraHost& operator=(const CVelmoraHost&) = delete;

    data::CDataStorage& getStorage() { return *m_storage; }
    data::CStorableFactory& getFactory() { return *m_factory; }
    CAppSceneHub& getSceneHub() { return *m_hub; }
    CPluginHost& getPlugins() { return *m_plugins; }

    //! Destroys the plug-in objects, the storage and then unloads the libraries. The plug-in
    //! windows must be gone already. Safe to call twice.
    void shutdown();

private:
    std::unique_ptr<data::CStorableFactory> m_factory;
    kvo::base::CRefPtr<data::CDataStorage> m_storage;
    kvo::base::CRefPtr<CAppSceneHub> m_hub;
    std::unique_ptr<CPluginHost> m_plugins;
};

} // namespace velmora
