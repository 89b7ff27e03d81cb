// The interface instance registry is per library: this test program is one "library", so the
// tests that construct interfaces run in child processes to start from a clean count.

#include "host/CPluginHost.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class CFirstInterface : public plug::CPluginInterface
{
public:
    using CPluginInterface::CPluginInterface;
    bool connect(void* host) override
    {
        if (!CPluginInterface::connect(host))
            return false;
        bindMenuCommand(17, [this](wxCommandEvent&) { onCommand(); });
        return true;
    }
    virtual void onCommand() { ++calls; }
    int calls = 0;
};

class CDerivedInterface : public CFirstInterface
{
public:
    using CFirstInterface::CFirstInterface;
    void onCommand() override { calls += 10; } // bindings call the most derived handler
};

int deletedInterfaces = 0;

// Makes no windows, so that the host can wire it without a running application.
class CHostedInterface : public CFirstInterface
{
public:
    using CFirstInterface::CFirstInterface;
    ~CHostedInterface() override { ++deletedInterfaces; }
    plug::CPluginPanel* createPanel(plug::CGuiAdapter*) override { return nullptr; }
    plug::CPluginMenu* createMenu(plug::CGuiAdapter*) override { return nullptr; }
};

class CRefusingInterface : public CHostedInterface
{
public:
    using CHostedInterface::CHostedInterface;
    bool preConnect(void*) override { return false; }
};

class CAcceptingPlugin
    : public plug::CPluginPrototype<CAcceptingPlugin, CHostedInterface, plug::CCreateInGlobalMem>
{
public:
    using CPluginPrototype::CPluginPrototype;
};

class CRefusingPlugin
    : public plug::CPluginPrototype<CRefusingPlugin, CRefusingInterface, plug::CCreateInGlobalMem>
{
public:
    using CPluginPrototype::CPluginPrototype;
};

class COtherInterface : public plug::CPluginInterface
{
public:
    using CPluginInterface::CPluginInterface;
};

} // namespace

TEST(InterfaceDeathTest, OneInterfaceIsFoundByItsClass)
{
    EXPECT_EXIT(
        {
            CFirstInterface only(7);
            if (plug::getInterfaceInstance<CFirstInterface>() != &only || only.getFlags() != 7)
                std::exit(1);
            try
            {
                plug::getInterfaceInstance<COtherInterface>();
                std::exit(2);
            }
            catch (const plug::CPluginInterface::CNullInterface& error)
            {
                if (std::string(error.what()) != "Cannot find an instance of the plugin interface")
                    std::exit(3);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(InterfaceDeathTest, DestroyedInterfaceIsNeverHandedOut)
{
    EXPECT_EXIT(
        {
            {
                CFirstInterface only(0);
            }
            try
            {
                plug::getInterfaceInstance<CFirstInterface>();
                std::exit(1);
            }
            catch (const plug::CPluginInterface::CNullInterface&)
            {
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(InterfaceDeathTest, TwoInterfacesMakeTheLookupFailFromThenOn)
{
    EXPECT_EXIT(
        {
            auto* first = new CFirstInterface(0);
            {
                CFirstInterface second(0);
            }
            try
            {
                plug::getInterfaceInstance<CFirstInterface>();
                std::exit(1);
            }
            catch (const plug::CPluginInterface::CNullInterface&)
            {
            }
            delete first;
            try
            {
                plug::getInterfaceInstance<CFirstInterface>();
                std::exit(2);
            }
            catch (const plug::CPluginInterface::CNullInterface&)
            {
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(InterfaceTest, HooksBindMenuCommandsThroughTheVirtualHandlers)
{
    kvo::base::CRefPtr<plug::CGuiAdapter> adapter(new plug::CGuiAdapter);
    adapter->idBase = 10000;
    CDerivedInterface derived(0);
    EXPECT_THROW(derived.connect(nullptr), plug::CGuiAdapter::CNullGuiAdapter); // no adapter yet
    derived.setAdapter(adapter.get());
    ASSERT_TRUE(derived.preConnect(nullptr));
    ASSERT_TRUE(derived.connect(nullptr));
    ASSERT_TRUE(derived.postConnect(nullptr));
    wxCommandEvent command(wxEVT_MENU, 10017);
    derived.ProcessEvent(command);
    EXPECT_EQ(derived.calls, 10);
    wxCommandEvent other(wxEVT_MENU, 10018);
    derived.ProcessEvent(other);
    EXPECT_EQ(derived.calls, 10);
}

TEST(InterfaceTest, HostStopsAtTheRefusingHookAndReportsIt)
{
    deletedInterfaces = 0;
    {
        velmora::CPluginHost host(nullptr, nullptr);
        ASSERT_TRUE(host.getRegistry().registerPrototype("Accepting", &CAcceptingPlugin::createPlugin,
                                                         &CAcceptingPlugin::destroyPlugin));
        ASSERT_TRUE(host.getRegistry().registerPrototype("Refusing", &CRefusingPlugin::createPlugin,
                                                         &CRefusingPlugin::destroyPlugin));
        std::vector<std::string> errors;
        host.createAll(nullptr, errors);
        EXPECT_EQ(errors, std::vector<std::string>{"the interface of Refusing refused to connect"});

        ASSERT_EQ(host.getPlugins().size(), 2u);
        auto* accepting = dynamic_cast<CHostedInterface*>(host.findByName("accepting")->pluginInterface);
        auto* refusing = dynamic_cast<CRefusingInterface*>(host.findByName("REFUSING")->pluginInterface);
        ASSERT_NE(accepting, nullptr);
        ASSERT_NE(refusing, nullptr);
        EXPECT_EQ(host.findByName("Refusing")->idBase, 10100);

        wxCommandEvent accepted(wxEVT_MENU, 10017);
        EXPECT_TRUE(accepting->ProcessEvent(accepted));
        EXPECT_EQ(accepting->calls, 1);
        // A refused pre-connect ends the wiring: connect never ran, so nothing is bound.
        wxCommandEvent refused(wxEVT_MENU, 10117);
        EXPECT_FALSE(refusing->ProcessEvent(refused));
        EXPECT_EQ(refusing->calls, 0);
        EXPECT_EQ(deletedInterfaces, 0);
    }
    EXPECT_EQ(deletedInterfaces, 2); // the host's plug-ins own their interfaces
}

TEST(InterfaceTest, DestroyedPluginDeletesItsInterfaceOnlyWithTheOwnershipFlag)
{
    for (std::uint32_t flags : {0u, 0xBFFu, 0x400u, 0x401u})
    {
        SCOPED_TRACE(flags);
        const bool owns = (flags & 0x400u) != 0;
        deletedInterfaces = 0;
        plug::CPlugin* plugin = CAcceptingPlugin::createPlugin(flags);
        ASSERT_NE(plugin, nullptr);
        plug::CPluginInterface* pluginInterface = plugin->createInterface(0);
        ASSERT_NE(dynamic_cast<CHostedInterface*>(pluginInterface), nullptr);
        plugin->setInterface(pluginInterface);
        CRefusingPlugin::destroyPlugin(plugin); // another class's destroyer leaves it alone
        EXPECT_EQ(deletedInterfaces, 0);
        CAcceptingPlugin::destroyPlugin(plugin);
        EXPECT_EQ(deletedInterfaces, owns ? 1 : 0);
        if (!owns)
        {
            // Still alive and usable: the caller keeps it.
            EXPECT_TRUE(pluginInterface->postConnect(nullptr));
            delete pluginInterface;
        }
    }
}
