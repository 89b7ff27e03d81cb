#include "host/CVelmoraRegistry.h"
#include "plug/CPlugin.h"
#include "plug/CProductInfo.h"

#include <gtest/gtest.h>

TEST(PluginInfoTest, TextForms)
{
    plug::CPluginInfo info("Velmora", "Parvex", "Segmentation", 1, 3);
    EXPECT_EQ(info.toString(), "Parvex 1.3");
    EXPECT_EQ(info.getDescription(), "Segmentation Plugin 1.3");

    app::CProductInfo product("Velmora", 0, 0);
    EXPECT_TRUE(product.fromString("Velmora 12.34"));
    EXPECT_EQ(product.getMajor(), 12);
    EXPECT_EQ(product.getMinor(), 34);
    EXPECT_TRUE(product.fromString("Some Long Name 2.7")); // the version is behind the last blank
    EXPECT_EQ(product.getMajor(), 2);
    EXPECT_EQ(product.getMinor(), 7);
    for (const char* bad : {"Velmora", "Velmora 1", "Velmora 1.", "Velmora x.2", "Velmora 1.2beta", ""})
    {
        EXPECT_FALSE(product.fromString(bad)) << bad;
        EXPECT_EQ(product.getMajor(), 2) << bad; // unchanged
    }
}

TEST(PluginInfoTest, RegistryRefusesEmptyNamesNullFunctionsAndDuplicates)
{
    velmora::CVelmoraRegistry registry;
    auto create = [](std::uint32_t) -> plug::CPlugin* { return nullptr; };
    auto otherCreate = [](std::uint32_t) -> plug::CPlugin* { return nullptr; };
    auto destroy = [](plug::CPlugin*) {};
    EXPECT_FALSE(registry.registerPrototype("", create, destroy));
    EXPECT_FALSE(registry.registerPrototype("A", nullptr, destroy));
    EXPECT_FALSE(registry.registerPrototype("A", create, nullptr));
    EXPECT_TRUE(registry.registerPrototype("B", create, destroy));
    EXPECT_TRUE(registry.registerPrototype("A", create, destroy));
    EXPECT_FALSE(registry.registerPrototype("A", otherCreate, destroy));
    ASSERT_EQ(registry.getPrototypes().size(), 2u);
    EXPECT_EQ(registry.getPrototypes().begin()->first, "A"); // ordered by name
    EXPECT_EQ(registry.getPrototypes().at("A").create, static_cast<plug::tCreatePluginFunc>(create));
    EXPECT_EQ(registry.getPrototypes().at("A").plugin, nullptr);
}
