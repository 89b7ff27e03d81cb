#include "host/CPluginLoader.h"

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {
using tGetPluginVersion = int (*)();
using tRegisterPlugin = bool (*)(plug::CPluginRegistry*);
} // namespace

CPluginLoader::~CPluginLoader() { unloadAll(); }

bool CPluginLoader::loadLibrary(const std::string& path, CVelmoraRegistry& registry, std::string& reason)
{
    // RTLD_LOCAL: each library keeps its own copy of the framework to itself.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
        const char* error = dlerror();
        reason = error ? error : "cannot load library";
        return false;
    }
    auto getVersion = reinterpret_cast<tGetPluginVersion>(dlsym(handle, "getPluginVersion"));
    auto registerFunc = reinterpret_cast<tRegisterPlugin>(dlsym(handle, "registerPlugin"));
    if (!getVersion || !registerFunc)
    {
        reason = "not a plug-in: missing getPluginVersion or registerPlugin";
        dlclose(handle);
        return false;
    }
    const int version = getVersion();
    if (version != PLUGIN_VERSION)
    {
        reason = "unsupported plug-in version " + std::to_string(version);
        dlclose(handle);
        return false;
    }
    registry.setCurrentLibrary(path);
    const bool registered = registerFunc(&registry);
    registry.setCurrentLibrary({});
    if (!registered)
    {
        reason = "registration refused";
        dlclose(handle);
        return false;
    }
    m_handles.push_back(handle);
    return true;
}

std::vector<CLoadFailure> CPluginLoader::loadFolder(const std::string& folder, CVelmoraRegistry& registry)
{
    std::vector<CLoadFailure> failures;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder, error))
    {
        if (item.path().extension() == ".so")
            files.push_back(item.path());
    }
    if (error)
    {
        failures.push_back({folder, error.message()});
        return failures;
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
    {
        std::string reason;
        if (!loadLibrary(file.string(), registry, reason))
            failures.push_back({file.filename().string(), reason});
    }
    return failures;
}

void CPluginLoader::unloadAll()
{
    while (!m_handles.empty())
    {
        dlclose(m_handles.back());
        m_handles.pop_back();
    }
}

std::string defaultPluginFolder()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "plugins";
    const std::filesystem::path dir = exe.parent_path();
    // Build tree: <build>/host/velmora with plug-ins in <build>/plugins.
    for (const auto& candidate : {dir.parent_path() / "plugins", dir / "plugins",
                                  dir.parent_path() / "lib" / "velmora" / "plugins"})
    {
        if (std::filesystem::is_directory(candidate, error))
            return candidate.string();
    }
    return (dir.parent_path() / "plugins").string();
}

} // namespace velmora
