// The density range of a data set against a plain scan of every interior voxel, for row
// lengths around the vectorised blocks and with margins whose values must not count.

#include "data/CDataStats.h"
#include "data/CDensityData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

TEST(DataStatsTest, RangeMatchesAPlainScanOfTheInterior)
{
    std::mt19937 random(11);
    for (const int xSize : {1, 7, 15, 16, 17, 31, 33, 100})
        for (const int margin : {0, 2})
        {
            SCOPED_TRACE("x size " + std::to_string(xSize) + ", margin " + std::to_string(margin));
            data::CDensityData density(xSize, 5, 3, margin);
            // Margins hold the extremes, which belong to no voxel.
            density.fillEntire(std::numeric_limits<std::int16_t>::min());
            std::uniform_int_distribution<int> value(-2000, 3000);
            int low = std::numeric_limits<int>::max(), high = std::numeric_limits<int>::min();
            for (int z = 0; z < 3; ++z)
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < xSize; ++x)
                    {
                        // Now and then the extreme sits in the last voxel of a row or block.
                        const int v = (x == xSize - 1 && y == 4 && z == 2) ? 3001 : value(random);
                        density.at(x, y, z) = static_cast<std::int16_t>(v);
                        low = std::min(low, v);
                        high = std::max(high, v);
                    }
            data::CDataStats stats;
            stats.compute(density);
            EXPECT_EQ(stats.getMin(), low);
            EXPECT_EQ(stats.getMax(), high);
        }
}

TEST(DataStatsTest, LargeVolumesSplitIntoBlocksOfSlicesFindTheSameRange)
{
    // Large enough to be scanned by several threads where there are several processors: the
    // extremes in the first, a middle and the last slice of the blocks, each block met by a
    // brute-force scan of the voxels.
    data::CDensityData density(512, 512, 67, 1);
    density.fillEntire(std::numeric_limits<std::int16_t>::max());
    std::mt19937 random(5);
    std::uniform_int_distribution<int> value(-1000, 1000);
    for (int z = 0; z < 67; ++z)
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x)
                density.at(x, y, z) = static_cast<std::int16_t>(value(random));
    for (const auto& [lowZ, highZ] : {std::pair{0, 66}, {33, 32}, {34, 0}, {66, 33}, {16, 50}})
    {
        SCOPED_TRACE("minimum in slice " + std::to_string(lowZ) + ", maximum in slice " + std::to_string(highZ));
        data::CDensityData copy(density);
        copy.at(511, 511, lowZ) = -1500 - lowZ;
        copy.at(0, 0, highZ) = 1500 + highZ;
        int low = std::numeric_limits<int>::max(), high = std::numeric_limits<int>::min();
        for (int z = 0; z < 67; ++z)
            for (int y = 0; y < 512; ++y)
                for (int x = 0; x < 512; ++x)
                {
                    low = std::min<int>(low, copy.at(x, y, z));
                    high = std::max<int>(high, copy.at(x, y, z));
                }
        data::CDataStats stats;
        stats.compute(copy);
        EXPECT_EQ(stats.getMin(), low);
        EXPECT_EQ(stats.getMax(), high);
        EXPECT_EQ(low, -1500 - lowZ);
    }
}
