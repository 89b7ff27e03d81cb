#pragma once
// Creates and wires the loaded plug-ins: plug-in object, bindings and adapter (each plug-in
// its own block of 100 identifiers from 10000 on), interface, panel and menu, and the three
// connection hooks. Tears them down in the safe order: windows first, then the plug-in
// objects (which delete their interfaces), and only then may the libraries be unloaded.

#include "host/CPluginLoader.h"
#include "host/CVelmoraRegistry.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"
#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"

#include <string>
#include <vector>

class CAppSceneHub;
class wxWindow;
namespace data {
class CDataStorage;
}

namespace velmora {

struct CHostedPlugin
{
    std::string name;
    plug::CPlugin* plugin = nullptr;
    plug::tDestroyPluginFunc destroy = nullptr;
    plug::CPluginInterface* pluginInterface = nullptr;
    plug::CPluginPanel* panel = nullptr;
    plug::CPluginMenu* menu = nullptr;
    int idBase = -1;

    bool ownsId(int id) const { return id >= idBase && id < idBase + plug::ID_BLOCK_SIZE; }
};

class CPluginHost
{
public:
    static constexpr int FIRST_ID_BASE = 10000;

    CPluginHost(data::CDataStorage* storage, CAppSceneHub* hub) : m_storage(storage), m_hub(hub) {}
    ~CPluginHost();
    CPluginHost(const CPluginHost&) = delete;
    CPluginHost& operator=(const CPluginHost&) = delete;

    //! Loads the libraries of a folder into the registry; returns the failures.
    std::vector<CLoadFailure> loadFolder(const std::string& folder);
    //! Creates every registered plug-in with its interface, panel (child of `parent`) and
    //! menu, and runs the panel, menu and interface hooks. Problems are appended to `errors`.
    void createAll(wxWindow* parent, std::vector<std::string>& errors);

    std::vector<CHostedPlugin>& getPlugins() { return m_plugins; }
    //! By name in any letter case; null when there is none.
    CHostedPlugin* findByName(const std::string& name);
    //! The plug-in whose identifier block holds `id`; null when none.
    CHostedPlugin* findById(int id);

    //! Forgets the windows (the caller destroys panels and menus with the frame).
    void forgetWindows();
    //! Destroys the plug-in objects (and their interfaces) through the registered functions.
    void destroyPlugins();
    //! Unloads the libraries; call only after everything a plug-in made is gone.
    void unload();

    CVelmoraRegistry& getRegistry() { return m_registry; }

private:
    data::CDataStorage* m_storage;
    CAppSceneHub* m_hub;
    CVelmoraRegistry m_registry;
    CPluginLoader m_loader;
    std::vector<CHostedPlugin> m_plugins;
};

} // namespace velmora
