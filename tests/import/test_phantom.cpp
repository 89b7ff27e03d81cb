#include "host/import/CDensityRange.h"
#include "host/import/CImportError.h"
#include "host/import/CPhantomSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

using velmora::import::CDensityRange;
using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::CPhantomSource;

namespace {

bool isPhantomValue(std::int16_t v)
{
    const int noise = CPhantomSource::NOISE;
    return v == CPhantomSource::AIR || std::abs(v - CPhantomSource::TISSUE) <= noise
           || std::abs(v - CPhantomSource::FAT) <= noise || v == CPhantomSource::CONTRAST || v == CPhantomSource::BONE
           || v == CPhantomSource::METAL || v == CPhantomSource::DOT;
}

// Sizes of the 6-connected components of lower <= density <= upper, by plain flood fill.
std::vector<std::size_t> componentSizes(const CLoadedVolume& volume, int lower, int upper,
                                        std::vector<int>* labelsOut = nullptr)
{
    const int nx = volume.xSize, ny = volume.ySize, nz = volume.zSize;
    std::vector<int> labels(volume.voxels.size(), -1);
    std::vector<std::size_t> sizes;
    std::vector<std::size_t> stack;
    auto inside = [&](std::size_t i) { return volume.voxels[i] >= lower && volume.voxels[i] <= upper; };
    for (std::size_t seed = 0; seed < volume.voxels.size(); ++seed) {
        if (labels[seed] >= 0 || !inside(seed))
            continue;
        const int label = static_cast<int>(sizes.size());
        sizes.push_back(0);
        labels[seed] = label;
        stack.push_back(seed);
        while (!stack.empty()) {
            const std::size_t i = stack.back();
            stack.pop_back();
            ++sizes.back();
            const int x = static_cast<int>(i % nx), y = static_cast<int>(i / nx % ny), z = static_cast<int>(i / nx / ny);
            const int offsets[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
            for (const auto& o : offsets) {
                const int ax = x + o[0], ay = y + o[1], az = z + o[2];
                if (ax < 0 || ay < 0 || az < 0 || ax >= nx || ay >= ny || az >= nz)
                    continue;
                const std::size_t j = (static_cast<std::size_t>(az) * ny + ay) * nx + ax;
                if (labels[j] < 0 && inside(j)) {
                    labels[j] = label;
                    stack.push_back(j);
                }
            }
        }
    }
    if (labelsOut)
        *labelsOut = std::move(labels);
    return sizes;
}

} // namespace

TEST(PhantomSource, DefaultVolumeHoldsEachMaterialWhereDescribed)
{
    const CPhantomSource source;
    const CLoadedVolume volume = source.generate();
    ASSERT_EQ(volume.xSize, 128);
    ASSERT_EQ(volume.ySize, 128);
    ASSERT_EQ(volume.zSize, 128);
    EXPECT_EQ(volume.dx, 1.0);
    EXPECT_EQ(volume.dz, 1.0);
    ASSERT_EQ(volume.voxels.size(), 128u * 128u * 128u);
    EXPECT_TRUE(volume.warnings.empty());

    // Body centre (63.5, 63.5, 63.5), semi-axes 57.6, 44.8, 57.6.
    EXPECT_EQ(volume.at(0, 0, 0), CPhantomSource::AIR);
    EXPECT_EQ(volume.at(127, 127, 127), CPhantomSource::AIR);
    EXPECT_EQ(volume.at(64, 64, 1), CPhantomSource::AIR);
    EXPECT_NEAR(volume.at(64, 64 + 42, 64), CPhantomSource::TISSUE, CPhantomSource::NOISE); // between shell and skin
    EXPECT_EQ(volume.at(64 + 46, 64, 64), CPhantomSource::BONE);                           // 0.8 of the x semi-axis
    EXPECT_EQ(volume.at(64, 64 - 36, 64), CPhantomSource::BONE);
    EXPECT_NEAR(volume.at(64 - 20, 64 + 4, 64), CPhantomSource::FAT, CPhantomSource::NOISE);
    EXPECT_EQ(volume.at(64 + 20, 64 + 4, 64), CPhantomSource::CONTRAST);
    EXPECT_EQ(volume.at(64, 64 + 18, 64), CPhantomSource::METAL);
    for (const auto& p : source.dotPositions())
        EXPECT_EQ(volume.at(p[0], p[1], p[2]), CPhantomSource::DOT);

    const CDensityRange range = CDensityRange::of(volume.voxels);
    EXPECT_EQ(range.min, CPhantomSource::AIR);
    EXPECT_EQ(range.max, CPhantomSource::DOT);

    // The noise really varies and stays within its band.
    std::map<std::int16_t, int> tissueValues;
    for (std::int16_t v : volume.voxels) {
        ASSERT_TRUE(isPhantomValue(v)) << v;
        if (std::abs(v - CPhantomSource::TISSUE) <= CPhantomSource::NOISE)
            ++tissueValues[v];
    }
    EXPECT_EQ(tissueValues.size(), 2u * CPhantomSource::NOISE + 1);
}

TEST(PhantomSource, SameSizeGivesSameVoxels)
{
    const CLoadedVolume first = CPhantomSource(40, 30, 20).generate();
    const CLoadedVolume second = CPhantomSource(40, 30, 20).generate();
    EXPECT_EQ(first.voxels, second.voxels);

    // A fingerprint of a small phantom: changes only when the phantom itself is changed,
    // never with the compiler or standard library.
    std::uint64_t hash = 1469598103934665603ULL;
    for (std::int16_t v : first.voxels) {
        hash ^= static_cast<std::uint16_t>(v);
        hash *= 1099511628211ULL;
    }
    EXPECT_EQ(hash, 12996140465878262930ULL);
}

TEST(PhantomSource, BoneThresholdGivesOneLargeShellAndSingleVoxelIslands)
{
    for (const auto& size : std::vector<std::array<int, 3>>{{128, 128, 128}, {96, 80, 48}, {40, 64, 32}}) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1] << " x " << size[2]);
        const CPhantomSource source(size[0], size[1], size[2]);
        const CLoadedVolume volume = source.generate();
        std::vector<int> labels;
        const std::vector<std::size_t> sizes = componentSizes(volume, 300, 3071, &labels);
        ASSERT_FALSE(sizes.empty());
        std::size_t total = 0;
        for (std::size_t s : sizes)
            total += s;
        const std::size_t largest = *std::max_element(sizes.begin(), sizes.end());
        EXPECT_GT(largest * 2, total) << "the shell is the bulk of the bone-range voxels";
        EXPECT_EQ(std::count(sizes.begin(), sizes.end(), std::size_t(1)), CPhantomSource::DOT_COUNT);
        for (const auto& p : source.dotPositions()) {
            const std::size_t index = (static_cast<std::size_t>(p[2]) * volume.ySize + p[1]) * volume.xSize + p[0];
            EXPECT_EQ(sizes[labels[index]], 1u);
        }
        // Shell, contrast, metal and the dots: nothing else lands in the bone range.
        EXPECT_EQ(sizes.size(), 3u + CPhantomSource::DOT_COUNT);
    }
}

TEST(PhantomSource, AnySizeFromOneVoxelUpWorks)
{
    for (const auto& size : std::vector<std::array<int, 3>>{{1, 1, 1}, {1, 1, 7}, {3, 2, 1}, {17, 5, 33}, {2, 300, 3}}) {
        SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1] << " x " << size[2]);
        const CLoadedVolume volume = CPhantomSource(size[0], size[1], size[2], 0.5, 0.7, 2.5).generate();
        EXPECT_EQ(volume.xSize, size[0]);
        EXPECT_EQ(volume.ySize, size[1]);
        EXPECT_EQ(volume.zSize, size[2]);
        EXPECT_EQ(volume.dy, 0.7);
        ASSERT_EQ(volume.voxels.size(), static_cast<std::size_t>(size[0]) * size[1] * size[2]);
        for (std::int16_t v : volume.voxels)
            ASSERT_TRUE(isPhantomValue(v)) << v;
    }
}

TEST(PhantomSource, InvalidSizeOrSpacingIsRefused)
{
    EXPECT_THROW(CPhantomSource(0, 10, 10).generate(), CImportError);
    EXPECT_THROW(CPhantomSource(10, -1, 10).generate(), CImportError);
    EXPECT_THROW(CPhantomSource(65537, 1, 1).generate(), CImportError);
    EXPECT_THROW(CPhantomSource(65536, 65536, 65536).generate(), CImportError);
    EXPECT_THROW(CPhantomSource(4, 4, 4, 0.0).generate(), CImportError);
    EXPECT_THROW(CPhantomSource(4, 4, 4, 1.0, 1.0, std::nan("")).generate(), CImportError);
}
