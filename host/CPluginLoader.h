#pragma once
// Loads plug-in libraries with dlopen and registers them: getPluginVersion must answer 1,
// then registerPlugin is called with the host's registry. Libraries stay loaded until
// unloadAll, which the host calls only after everything a plug-in made is destroyed.

#include "host/CVelmoraRegistry.h"

#include <string>
#include <vector>

namespace velmora {

struct CLoadFailure
{
    std::string file;
    std::string reason;
};

class CPluginLoader
{
public:
    //! The plug-in API version the host understands.
    static constexpr int PLUGIN_VERSION = 1;

    CPluginLoader() = default;
    ~CPluginLoader();
    CPluginLoader(const CPluginLoader&) = delete;
    CPluginLoader& operator=(const CPluginLoader&) = delete;

    //! Loads one library and registers it; false with a reason on failure (the library is
    //! unloaded again). A failure never affects other libraries.
    bool loadLibrary(const std::string& path, CVelmoraRegistry& registry, std::string& reason);
    //! Loads every "*.so" file of a folder in name order; returns the failures.
    std::vector<CLoadFailure> loadFolder(const std::string& folder, CVelmoraRegistry& registry);
    //! Unloads all libraries, in reverse order of loading.
    void unloadAll();

    std::size_t getLoadedCount() const { return m_handles.size(); }

private:
    std::vector<void*> m_handles;
};

//! The folder the host looks in by default: the plug-ins folder beside the executable's
//! build or install tree.
std::string defaultPluginFolder();

} // namespace velmora
