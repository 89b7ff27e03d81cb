#include "host/CPluginHost.h"

#include "toolkit/base/CException.h"

#include <algorithm>
#include <cctype>

namespace velmora {

CPluginHost::~CPluginHost()
{
    destroyPlugins();
    unload();
}

std::vector<CLoadFailure> CPluginHost::loadFolder(const std::string& folder)
{
    return m_loader.loadFolder(folder, m_registry);
}

void CPluginHost::createAll(wxWindow* parent, std::vector<std::string>& errors)
{
    int nextBase = FIRST_ID_BASE + static_cast<int>(m_plugins.size()) * plug::ID_BLOCK_SIZE;
    for (auto& [name, record] : m_registry.getPrototypes())
    {
        if (record.plugin)
            continue;
        plug::CPlugin* plugin = record.create(plug::PLUGIN_OWNS_INTERFACE);
        if (!plugin)
        {
            errors.push_back("cannot create plug-in " + name);
            continue;
        }
        record.plugin = plugin;
        CHostedPlugin hosted;
        hosted.name = name;
        hosted.plugin = plugin;
        hosted.destroy = record.destroy;
        hosted.idBase = nextBase;
        nextBase += plug::ID_BLOCK_SIZE;

        plug::CGuiAdapter* adapter = plugin->getAdapter();
        plug::CAppBindings* bindings = plugin->getBindings();
        adapter->idBase = hosted.idBase;
        bindings->setStorage(m_storage);
        bindings->setSceneHub(m_hub);
        try
        {
            plugin->initialize(nullptr);
            hosted.pluginInterface = plugin->createInterface(0);
            if (!hosted.pluginInterface)
            {
                errors.push_back("cannot create the interface of " + name);
                m_plugins.push_back(hosted);
                continue;
            }
            plugin->setInterface(hosted.pluginInterface);
            hosted.pluginInterface->setAdapter(adapter);
            hosted.pluginInterface->setBindings(bindings);

            hosted.panel = hosted.pluginInterface->createPanel(adapter);
            if (hosted.panel)
            {
                if (parent && hosted.panel->GetParent() != parent)
                    hosted.panel->reparentTo(parent);
                hosted.panel->setBindings(bindings);
            }
            hosted.menu = hosted.pluginInterface->createMenu(adapter);
            if (hosted.menu)
            {
                hosted.menu->setBindings(bindings);
                hosted.menu->createItems();
                hosted.menu->prepare();
            }
            if (hosted.panel && (!hosted.panel->prepare() || !hosted.panel->connect()))
                errors.push_back("the panel of " + name + " refused to connect");
            plug::CPluginInterface& pluginInterface = *hosted.pluginInterface;
            if (!pluginInterface.preConnect(nullptr) || !pluginInterface.connect(nullptr) ||
                !pluginInterface.postConnect(nullptr))
                errors.push_back("the interface of " + name + " refused to connect");
        }
        catch (const kvo::base::CException& error)
        {
            errors.push_back("plug-in " + name + ": " + error.what());
        }
        m_plugins.push_back(hosted);
    }
}

CHostedPlugin* CPluginHost::findByName(const std::string& name)
{
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    };
    const std::string wanted = lower(name);
    for (CHostedPlugin& hosted : m_plugins)
    {
        if (lower(hosted.name) == wanted)
            return &hosted;
    }
    return nullptr;
}

CHostedPlugin* CPluginHost::findById(int id)
{
    for (CHostedPlugin& hosted : m_plugins)
    {
        if (hosted.ownsId(id))
            return &hosted;
    }
    return nullptr;
}

void CPluginHost::forgetWindows()
{
    for (CHostedPlugin& hosted : m_plugins)
    {
        hosted.panel = nullptr;
        hosted.menu = nullptr;
    }
}

void CPluginHost::destroyPlugins()
{
    for (auto it = m_plugins.rbegin(); it != m_plugins.rend(); ++it)
    {
        if (it->plugin && it->destroy)
            it->destroy(it->plugin);
        it->plugin = nullptr;
        it->pluginInterface = nullptr;
    }
    m_plugins.clear();
    for (auto& [name, record] : m_registry.getPrototypes())
        record.plugin = nullptr;
}

void CPluginHost::unload() { m_loader.unloadAll(); }

} // namespace velmora
