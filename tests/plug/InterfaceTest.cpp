// The interface instance registry is per library: this test program is one "library", so the
// tests that construct interfaces run in child processes to start from a clean count.

#include "plug/CPluginInterface.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

class CRefusingInterface : public CFirstInterface
{
public:
    using CFirstInterface::CFirstInterface;
    bool preConnect(void*) override { return false; }
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

    CRefusingInterface refusing(0);
    refusing.setAdapter(adapter.get());
    EXPECT_FALSE(refusing.preConnect(nullptr));
    // Nothing was bound by the refused hook's caller.
    wxCommandEvent command17(wxEVT_MENU, 10017);
    refusing.ProcessEvent(command17);
    EXPECT_EQ(refusing.calls, 0);
}
