// Loads the built plug-in libraries with dlopen, as the host does, and drives their two
// exported functions and the functions they register.

#include "host/CPluginLoader.h"
#include "host/CVelmoraRegistry.h"
#include "host/ListPlugins.h"
#include "plug/CPlugin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using tGetPluginVersion = int (*)();
using tRegisterPlugin = bool (*)(plug::CPluginRegistry*);

const char* const LIBRARIES[] = {"libParvexPlugin.so", "libTolvanePlugin.so", "libOstrumPlugin.so"};
const char* const NAMES[] = {"Parvex", "Tolvane", "Ostrum"};

std::string libraryPath(const std::string& file) { return std::string(VELMORA_PLUGIN_DIR) + "/" + file; }

class CLoadedLibrary
{
public:
    explicit CLoadedLibrary(const std::string& file)
        : m_handle(dlopen(libraryPath(file).c_str(), RTLD_NOW | RTLD_LOCAL))
    {
    }
    ~CLoadedLibrary()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    bool isLoaded() const { return m_handle != nullptr; }
    tGetPluginVersion getVersion() const { return reinterpret_cast<tGetPluginVersion>(dlsym(m_handle, "getPluginVersion")); }
    tRegisterPlugin getRegister() const { return reinterpret_cast<tRegisterPlugin>(dlsym(m_handle, "registerPlugin")); }

private:
    void* m_handle;
};

class PluginLibraryTest : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override
    {
        library = std::make_unique<CLoadedLibrary>(LIBRARIES[GetParam()]);
        ASSERT_TRUE(library->isLoaded()) << dlerror();
        ASSERT_NE(library->getVersion(), nullptr);
        ASSERT_NE(library->getRegister(), nullptr);
    }
    bool registerWith(const std::string& host, int major, int minor, std::uint32_t flags = 0)
    {
        velmora::CVelmoraRegistry registry(app::CProductInfo(host, major, minor), flags);
        return library->getRegister()(&registry);
    }
    std::unique_ptr<CLoadedLibrary> library;
};

} // namespace

TEST_P(PluginLibraryTest, VersionAndRegistrationRules)
{
    EXPECT_EQ(library->getVersion()(), 1);
    EXPECT_TRUE(registerWith("Velmora", 1, 0));
    EXPECT_TRUE(registerWith("Velmora", 1, 99)); // minor versions are not compared
    EXPECT_TRUE(registerWith("Velmora", 1, -5));
    EXPECT_FALSE(registerWith("velmora", 1, 0)); // case-sensitive
    EXPECT_FALSE(registerWith("Velmora ", 1, 0));
    EXPECT_FALSE(registerWith("Velmora", 2, 0));
    EXPECT_FALSE(registerWith("Velmora", 0, 3));
    EXPECT_FALSE(registerWith("Velmora", 1, 0, plug::REGISTRY_REFUSE));
    EXPECT_TRUE(registerWith("Velmora", 1, 0, ~plug::REGISTRY_REFUSE)); // other bits don't matter
    EXPECT_FALSE(library->getRegister()(nullptr));
}

TEST_P(PluginLibraryTest, SecondRegistrationOfTheSameNameKeepsTheFirst)
{
    velmora::CVelmoraRegistry registry;
    ASSERT_TRUE(library->getRegister()(&registry));
    const auto first = registry.getPrototypes().at(NAMES[GetParam()]);
    EXPECT_FALSE(library->getRegister()(&registry));
    ASSERT_EQ(registry.getPrototypes().size(), 1u);
    EXPECT_EQ(registry.getPrototypes().at(NAMES[GetParam()]).create, first.create);
    EXPECT_EQ(registry.getPrototypes().at(NAMES[GetParam()]).destroy, first.destroy);
}

TEST_P(PluginLibraryTest, CreateAndDestroyThroughTheRegisteredFunctions)
{
    velmora::CVelmoraRegistry registry;
    ASSERT_TRUE(library->getRegister()(&registry));
    const velmora::CPrototypeRecord& record = registry.getPrototypes().at(NAMES[GetParam()]);

    plug::CPlugin* plugin = record.create(plug::PLUGIN_OWNS_INTERFACE);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->getInfo().getName(), NAMES[GetParam()]);
    EXPECT_EQ(plugin->getInfo().getHost(), "Velmora");
    EXPECT_EQ(plugin->getInfo().getGroup(), "Segmentation");
    EXPECT_EQ(plugin->getInfo().toString(), std::string(NAMES[GetParam()]) + " 1.3");
    EXPECT_EQ(plugin->getInfo().getDescription(), "Segmentation Plugin 1.3");
    EXPECT_EQ(plugin->getFlags(), plug::PLUGIN_OWNS_INTERFACE);
    EXPECT_TRUE(plugin->initialize(nullptr));

    // Shared objects made by the plug-in, filled by the host.
    ASSERT_NE(plugin->getAdapter(), nullptr);
    EXPECT_EQ(plugin->getAdapter()->idBase, -1);
    EXPECT_EQ(plugin->getAdapter()->hostData, 0);
    ASSERT_NE(plugin->getBindings(), nullptr);
    EXPECT_EQ(plugin->getBindings()->getPlugin(), plugin);
    EXPECT_EQ(plugin->getBindings()->getStoragePointer(), nullptr);
    EXPECT_EQ(plugin->getBindings()->getSceneHubPointer(), nullptr);

    // The host keeps its own reference to the bindings: destroying the plug-in (and the
    // interface it owns) must give back exactly the plug-in's references.
    kvo::base::CRefPtr<plug::CAppBindings> hostReference(plugin->getBindings());
    plugin->getAdapter()->idBase = 10000;
    plug::CPluginInterface* pluginInterface = plugin->createInterface(0);
    ASSERT_NE(pluginInterface, nullptr);
    plugin->setInterface(pluginInterface);
    EXPECT_EQ(hostReference->getReferencesCount(), 2);
    record.destroy(plugin);
    EXPECT_EQ(hostReference->getReferencesCount(), 1);
}

TEST_P(PluginLibraryTest, OnlyTheTwoEntryPointsAreExported)
{
    const std::string command = "nm -D --defined-only '" + libraryPath(LIBRARIES[GetParam()]) + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe))
    {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (name.empty())
            continue;
        // Section markers that the linker always defines.
        if (name == "__bss_start" || name == "_edata" || name == "_end" || name == "_init" || name == "_fini")
            continue;
        exported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0) << "nm failed";
    EXPECT_EQ(exported, (std::set<std::string>{"getPluginVersion", "registerPlugin"}));
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, PluginLibraryTest, ::testing::Values(0, 1, 2),
                         [](const auto& param) { return std::string(NAMES[param.param]); });

TEST(PluginLibraryCrossTest, DestroyPluginIgnoresAnObjectOfAnotherPlugin)
{
    CLoadedLibrary parvex(LIBRARIES[0]);
    CLoadedLibrary tolvane(LIBRARIES[1]);
    ASSERT_TRUE(parvex.isLoaded() && tolvane.isLoaded());
    velmora::CVelmoraRegistry registry;
    ASSERT_TRUE(parvex.getRegister()(&registry));
    ASSERT_TRUE(tolvane.getRegister()(&registry));
    const auto& parvexRecord = registry.getPrototypes().at("Parvex");
    const auto& tolvaneRecord = registry.getPrototypes().at("Tolvane");

    plug::CPlugin* tolvanePlugin = tolvaneRecord.create(0);
    ASSERT_NE(tolvanePlugin, nullptr);
    kvo::base::CRefPtr<plug::CAppBindings> bindings(tolvanePlugin->getBindings());
    parvexRecord.destroy(tolvanePlugin);
    // Untouched: still alive and still holding its references.
    EXPECT_EQ(tolvanePlugin->getInfo().getName(), "Tolvane");
    EXPECT_EQ(bindings->getReferencesCount(), 2);
    tolvaneRecord.destroy(tolvanePlugin);
    EXPECT_EQ(bindings->getReferencesCount(), 1);
}

TEST(PluginLoaderTest, ListsThePluginsInNameOrderAndReportsBrokenLibraries)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "plugin-folder";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* file : LIBRARIES)
        fs::copy_file(libraryPath(file), folder / file);
    std::ofstream(folder / "libBroken.so") << "not an ELF file";
    std::ofstream(folder / "README.txt") << "ignored: not a library";
    // A real library that is not a plug-in.
    const char* libz = "/usr/lib/x86_64-linux-gnu/libz.so.1";
    if (fs::exists(libz))
        fs::copy_file(libz, folder / "libNotAPlugin.so");

    std::ostringstream out;
    EXPECT_EQ(velmora::listPlugins(folder.string(), out), 3);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(all[0], "Ostrum 1.3  Segmentation Plugin 1.3");
    EXPECT_EQ(all[1], "Parvex 1.3  Segmentation Plugin 1.3");
    EXPECT_EQ(all[2], "Tolvane 1.3  Segmentation Plugin 1.3");
    EXPECT_EQ(all[3].rfind("failed: libBroken.so: ", 0), 0u) << all[3];
    if (fs::exists(libz))
    {
        ASSERT_EQ(all.size(), 5u);
        EXPECT_EQ(all[4], "failed: libNotAPlugin.so: not a plug-in: missing getPluginVersion or registerPlugin");
    }
    fs::remove_all(folder);
}
