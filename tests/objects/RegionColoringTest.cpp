// The region table: the default ten regions, growth with seeded random colours, shrinking
// and the active-index rules.

#include "data/CRegionColoring.h"

#include <gtest/gtest.h>

#include <cstdint>

using data::CRegionColoring;
using tColor = CRegionColoring::CColor;

namespace {

// The generator's rule written out: 31-bit multiplicative congruential, multiplier 5^13.
struct CReferenceRandom
{
    std::uint32_t state = 1537;
    std::uint8_t component()
    {
        state = (state * 1220703125u) & 0x7FFFFFFFu;
        return std::uint8_t(int(state / 2147483647.0 * 255.0));
    }
};

} // namespace

TEST(RegionColoring, DefaultTable)
{
    CRegionColoring coloring;
    ASSERT_EQ(coloring.getCount(), 10);
    EXPECT_EQ(coloring.getActive(), 1);
    EXPECT_EQ(coloring.getName(0), "Not classified");
    EXPECT_EQ(coloring.getColor(0), (tColor{0, 0, 0, 0}));
    EXPECT_EQ(coloring.getName(1), "Region 1");
    EXPECT_EQ(coloring.getColor(1), (tColor{255, 128, 128, 128}));
    EXPECT_EQ(coloring.getColor(7), (tColor{255, 128, 64, 128}));
    EXPECT_EQ(coloring.getName(9), "Region 9");
    EXPECT_EQ(coloring.getColor(9), (tColor{128, 128, 64, 128}));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(coloring.isVisible(i));

    // Building the table drew ten random colours that were then overwritten.
    CReferenceRandom reference;
    for (int i = 0; i < 30; ++i)
        reference.component();
    EXPECT_EQ(coloring.getRandomState(), reference.state);

    // Reset restores the table and does not draw again for a table of ten.
    coloring.resize(3, false);
    coloring.setName(1, "Liver");
    coloring.setVisible(2, false);
    coloring.setActive(2);
    coloring.reset();
    EXPECT_EQ(coloring.getCount(), 10);
    EXPECT_EQ(coloring.getName(1), "Region 1");
    EXPECT_TRUE(coloring.isVisible(2));
    EXPECT_EQ(coloring.getActive(), 1);
    for (int i = 0; i < 3 * 7; ++i)
        reference.component();
    EXPECT_EQ(coloring.getRandomState(), reference.state);
}

TEST(RegionColoring, GrowthAppendsUnnamedVisibleEntries)
{
    CRegionColoring coloring;
    CReferenceRandom reference;
    for (int i = 0; i < 30; ++i)
        reference.component();

    coloring.resize(13, true);
    ASSERT_EQ(coloring.getCount(), 13);
    for (int i = 10; i < 13; ++i)
    {
        const std::uint8_t red = reference.component();
        const std::uint8_t green = reference.component();
        const std::uint8_t blue = reference.component();
        EXPECT_EQ(coloring.getColor(i), (tColor{red, green, blue, 128})) << i;
        EXPECT_EQ(coloring.getName(i), "Unnamed");
        EXPECT_TRUE(coloring.isVisible(i));
    }
    EXPECT_EQ(coloring.getColor(1), (tColor{255, 128, 128, 128})); // earlier entries stay

    coloring.resize(15, false);
    EXPECT_EQ(coloring.getColor(14), CRegionColoring::DEFAULT_COLOR);
    EXPECT_EQ(coloring.getRandomState(), reference.state);
}

TEST(RegionColoring, ShrinkingAndTheActiveIndex)
{
    CRegionColoring coloring;
    EXPECT_FALSE(coloring.setActive(10));
    EXPECT_FALSE(coloring.setActive(-1));
    EXPECT_EQ(coloring.getActive(), 1);
    EXPECT_TRUE(coloring.setActive(0));
    EXPECT_TRUE(coloring.setActive(9));

    // Dropping the active entry moves the active index to the last one left.
    coloring.resize(3, true);
    EXPECT_EQ(coloring.getCount(), 3);
    EXPECT_EQ(coloring.getActive(), 2);
    EXPECT_EQ(coloring.getName(2), "Region 2");
    coloring.resize(0, true);
    EXPECT_EQ(coloring.getActive(), 0);
    coloring.resize(-4, true);
    EXPECT_EQ(coloring.getCount(), 0);

    // Outside the table: reads give the fallback entry, writes do nothing.
    EXPECT_EQ(coloring.getName(5), "Unnamed");
    EXPECT_TRUE(coloring.isVisible(5));
    EXPECT_EQ(coloring.getColor(5), CRegionColoring::DEFAULT_COLOR);
    coloring.setName(5, "x");
    coloring.setVisible(5, false);
    coloring.setRGB(5, 1, 2, 3);
    EXPECT_EQ(coloring.getCount(), 0);

    coloring.reset();
    coloring.setRGB(4, 1, 2, 3);
    EXPECT_EQ(coloring.getColor(4), (tColor{1, 2, 3, 128}));
}
