// The label median filter voxel for voxel against the literal algorithm (copy each s³
// window, Hoare's selection of rank s³/2) on random volumes: both methods, serial and
// threaded, r = 1..9, few to 65535 distinct labels. Tiny hand-made cases, progress, cancel,
// refusals and a destination sharing the source's buffer.

#include "data/CRegionData.h"
#include "plugins/parvex/seg/MedianFilter.h"
#include "toolkit/img/CVolumeMedianFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using tLabels = kvo::img::CVolume<std::uint16_t>;
using EMethod = seg::CMedianOptions::EMethod;

constexpr std::uint16_t SENTINEL = 0xbeef;

// Hoare's partition selection, in place: the element of rank k of a.
std::uint16_t hoareSelect(std::vector<std::uint16_t>& a, int k)
{
    int left = 0, right = static_cast<int>(a.size()) - 1;
    while (left < right)
    {
        const std::uint16_t pivot = a[std::size_t(k)];
        int i = left, j = right;
        do
        {
            while (a[std::size_t(i)] < pivot)
                ++i;
            while (pivot < a[std::size_t(j)])
                --j;
            if (i <= j)
            {
                std::swap(a[std::size_t(i)], a[std::size_t(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j < k)
            left = i;
        if (k < i)
            right = j;
    }
    return a[std::size_t(k)];
}

// The literal algorithm: every voxel of the working region from its own copied window.
void literalMedian(const tLabels& source, tLabels& destination, int s)
{
    const int xSize = std::min(source.getXSize(), destination.getXSize());
    const int ySize = std::min(source.getYSize(), destination.getYSize());
    const int zSize = std::min(source.getZSize(), destination.getZSize());
    std::vector<std::uint16_t> window(std::size_t(s) * std::size_t(s) * std::size_t(s));
    const int k = s * s * s / 2;
    for (int z = 0; z < zSize; ++z)
        for (int y = 0; y < ySize; ++y)
            for (int x = 0; x < xSize; ++x)
            {
                std::size_t n = 0;
                for (int dz = 0; dz < s; ++dz)
                    for (int dy = 0; dy < s; ++dy)
                        for (int dx = 0; dx < s; ++dx)
                            window[n++] = source.at(x - s / 2 + dx, y - s / 2 + dy, z - s / 2 + dz);
                destination.at(x, y, z) = hoareSelect(window, k);
            }
}

// Count of buffer elements (margins included) where two volumes of one layout differ.
std::size_t differences(const tLabels& a, const tLabels& b)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.getBufferSize(); ++i)
        count += a.getBlock()->getData()[i] != b.getBlock()->getData()[i];
    return count;
}

enum class EPattern
{
    NOISE, // every voxel drawn at random
    BOXES, // a background, up to 12 boxes of any size and 1 % noise: long runs of one label
    SPECKS, // a background and many boxes of 1 to 3 voxels a side: labels come and go
};

// Labels drawn from `palette` in the given pattern. The margin holds 0, as the panel
// prepares it, or (noisyMargin) labels too.
tLabels randomLabels(int x, int y, int z, int margin, const std::vector<std::uint16_t>& palette, EPattern pattern,
                     bool noisyMargin, std::mt19937& random)
{
    tLabels volume(x, y, z, margin);
    std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
    volume.fillEntire(0);
    if (noisyMargin)
        for (std::size_t i = 0; i < volume.getBufferSize(); ++i)
            volume.getBlock()->getData()[i] = palette[pick(random)];
    if (pattern == EPattern::NOISE)
    {
        volume.forEach([&](std::uint16_t& label) { label = palette[pick(random)]; });
        return volume;
    }
    volume.fill(palette[0]);
    const bool specks = pattern == EPattern::SPECKS;
    const int boxCount = specks ? x * y * z / 64 + 1 : std::uniform_int_distribution<int>(2, 12)(random);
    const auto side = [&](int size) { return std::uniform_int_distribution<int>(1, specks ? 3 : size)(random); };
    for (int box = 0; box < boxCount; ++box)
    {
        const int x0 = std::uniform_int_distribution<int>(0, x - 1)(random);
        const int y0 = std::uniform_int_distribution<int>(0, y - 1)(random);
        const int z0 = std::uniform_int_distribution<int>(0, z - 1)(random);
        const int x1 = std::min(x, x0 + side(x)), y1 = std::min(y, y0 + side(y)), z1 = std::min(z, z0 + side(z));
        const std::uint16_t label = palette[pick(random)];
        for (int k = z0; k < z1; ++k)
            for (int j = y0; j < y1; ++j)
                for (int i = x0; i < x1; ++i)
                    volume.at(i, j, k) = label;
    }
    if (!specks)
    {
        std::bernoulli_distribution noise(0.01);
        volume.forEach([&](std::uint16_t& label) {
            if (noise(random))
                label = palette[pick(random)];
        });
    }
    return volume;
}

std::vector<std::uint16_t> distinctLabels(std::size_t count, std::mt19937& random)
{
    std::vector<std::uint16_t> all(65536);
    std::iota(all.begin(), all.end(), std::uint16_t(0));
    std::shuffle(all.begin(), all.end(), random);
    all.resize(count);
    return all;
}

struct CSizes
{
    int x, y, z;
};

// Runs every method and thread count on `source` into a destination of `target` sizes
// (margin 2, all SENTINEL) and compares each result with the literal algorithm's.
void expectLiteral(const tLabels& source, CSizes target, int s, const std::string& what)
{
    tLabels expected(target.x, target.y, target.z, 2);
    expected.fillEntire(SENTINEL);
    literalMedian(source, expected, s);
    // COUNTING takes time per threshold: with thousands of labels it is left to HISTOGRAM.
    std::vector<bool> present(65536);
    for (std::size_t i = 0; i < source.getBufferSize(); ++i)
        present[source.getBlock()->getData()[i]] = true;
    const bool counting = std::count(present.begin(), present.end(), true) <= 1000;
    for (EMethod method : {EMethod::AUTOMATIC, EMethod::COUNTING, EMethod::HISTOGRAM})
        for (int threads : {1, 3})
        {
            if (method == EMethod::COUNTING && !counting)
                continue;
            tLabels result(target.x, target.y, target.z, 2);
            result.fillEntire(SENTINEL);
            int slices = 0;
            const auto count = [&] {
                ++slices;
                return true;
            };
            ASSERT_TRUE(seg::medianFilter(source, result, s, count, {threads, method})) << what;
            EXPECT_EQ(slices, std::min(source.getZSize(), target.z)) << what;
            EXPECT_EQ(differences(result, expected), 0u)
                << what << " method " << static_cast<int>(method) << " threads " << threads;
        }
}

} // namespace

TEST(MedianFilterTest, HandMadeNeighbourhoods)
{
    kvo::img::CVolumeMedianFilter<data::CRegionData> filter(3);

    // A lone voxel disappears; the volume stays all 0.
    data::CRegionData dot(5, 5, 5, 1);
    dot.fillEntire(0);
    dot.at(2, 2, 2) = 3;
    data::CRegionData out(5, 5, 5);
    out.fill(9);
    ASSERT_TRUE(filter(dot, out));
    out.forEach([](std::uint16_t label) { ASSERT_EQ(label, 0); });

    // A 6³ block of 3 in 8³: a voxel stays 3 when at least 14 of its 27 neighbours are 3, so
    // the inside and the face centres stay (27 and 18 of 27), edges and corners go (12, 8).
    data::CRegionData block(8, 8, 8, 1);
    block.fillEntire(0);
    for (int z = 1; z < 7; ++z)
        for (int y = 1; y < 7; ++y)
            for (int x = 1; x < 7; ++x)
                block.at(x, y, z) = 3;
    data::CRegionData smooth(8, 8, 8);
    ASSERT_TRUE(filter(block, smooth));
    for (int z = 2; z < 6; ++z)
        for (int y = 2; y < 6; ++y)
            for (int x = 2; x < 6; ++x)
                EXPECT_EQ(smooth.at(x, y, z), 3) << x << " " << y << " " << z;
    EXPECT_EQ(smooth.at(1, 3, 4), 3);
    EXPECT_EQ(smooth.at(1, 1, 4), 0);
    EXPECT_EQ(smooth.at(1, 1, 1), 0);
    EXPECT_EQ(smooth.at(0, 3, 3), 0);

    // The centre of a 3³ volume sees exactly its 27 voxels: rank 13 of the sorted labels.
    struct CMix
    {
        std::vector<std::pair<std::uint16_t, int>> counts; // label, voxels
        std::uint16_t median;
    };
    for (const CMix& mix : {CMix{{{0, 14}, {5, 13}}, 0}, CMix{{{0, 13}, {5, 14}}, 5},
                            CMix{{{1, 10}, {5, 8}, {9, 9}}, 5}, // not the most frequent label 1
                            CMix{{{65535, 13}, {7, 1}, {40000, 13}}, 40000}})
    {
        std::vector<std::uint16_t> labels;
        for (auto [label, voxels] : mix.counts)
            labels.insert(labels.end(), std::size_t(voxels), label);
        std::shuffle(labels.begin(), labels.end(), std::mt19937(27));
        data::CRegionData cube(3, 3, 3, 1);
        cube.fillEntire(0);
        for (int i = 0; i < 27; ++i)
            cube.at(i % 3, i / 3 % 3, i / 9) = labels[std::size_t(i)];
        data::CRegionData centre(3, 3, 3);
        ASSERT_TRUE(filter(cube, centre));
        EXPECT_EQ(centre.at(1, 1, 1), mix.median);
    }
}

TEST(MedianFilterTest, EqualsTheLiteralAlgorithmForEveryRadius)
{
    std::mt19937 random(5309);
    const std::vector<std::vector<std::uint16_t>> palettes = {
        {0, 5}, {0, 1, 2}, {3, 9000, 65535}, distinctLabels(300, random), distinctLabels(65536, random)};
    for (int r = 1; r <= 9; ++r)
    {
        const int s = 2 * r + 1;
        // Below and just above 2r along each axis, and one size that fills several vectors
        // and row bands with a tail (small for large r: the literal loop costs s³ a voxel).
        const std::vector<CSizes> sizes = {
            {std::max(1, 2 * r - 1), 2 * r + 1, 3}, {2 * r + 1, 2 * r + 2, 2}, {3, 4, 2 * r + 1},
            r <= 2 ? CSizes{37, 45, 23} : r <= 4 ? CSizes{23, 19, 9} : CSizes{2 * r + 3, 2 * r + 1, 3}};
        // Large windows reach over most of these small volumes: noise with two, three and
        // hundreds of labels is enough there.
        for (std::size_t p = 0; p < palettes.size(); ++p)
            for (const CSizes& size : sizes)
                for (EPattern pattern : {EPattern::NOISE, EPattern::BOXES})
                {
                    if (r > 4 && (pattern != EPattern::NOISE || p == 1 || p == 4))
                        continue;
                    const std::string what = "r " + std::to_string(r) + " palette " + std::to_string(p) + " " +
                                             std::to_string(size.x) + "x" + std::to_string(size.y) + "x" +
                                             std::to_string(size.z) + " pattern " +
                                             std::to_string(static_cast<int>(pattern));
                    const tLabels source =
                        randomLabels(size.x, size.y, size.z, r, palettes[p], pattern, false, random);
                    expectLiteral(source, {size.x, size.y, size.z}, s, what);
                }
    }
}

TEST(MedianFilterTest, EqualsTheLiteralAlgorithmOnLargerAndOddShapes)
{
    std::mt19937 random(77);
    // Every 16-bit label once in a 64 x 32 x 32 volume.
    {
        std::vector<std::uint16_t> all = distinctLabels(65536, random);
        tLabels source(64, 32, 32, 1);
        source.fillEntire(0);
        std::size_t next = 0;
        source.forEach([&](std::uint16_t& label) { label = all[next++]; });
        expectLiteral(source, {64, 32, 32}, 3, "65536 labels");
    }
    // Several row bands per slice, vectors with tails, and labels that come and go along z,
    // for the radii the panel offers most.
    for (int r = 1; r <= 3; ++r)
        for (const std::vector<std::uint16_t>& palette :
             {std::vector<std::uint16_t>{0, 1, 2}, distinctLabels(20, random), distinctLabels(200, random)})
            for (EPattern pattern : {EPattern::BOXES, EPattern::SPECKS})
            {
                const tLabels source = randomLabels(53, 71, 31, r, palette, pattern, false, random);
                expectLiteral(source, {53, 71, 31}, 2 * r + 1,
                              "r " + std::to_string(r) + " pattern " + std::to_string(static_cast<int>(pattern)));
            }
    // Windows of even size (one voxel more below than above), a wide margin (of labels, which
    // the windows read, or of zeros), and destinations smaller and larger than the source:
    // only the common block is written.
    for (int s : {1, 2, 4, 6})
        for (EPattern pattern : {EPattern::NOISE, EPattern::SPECKS})
        {
            const tLabels source =
                randomLabels(19, 17, 9, s / 2 + 1, {4, 8, 15, 16, 23, 42}, pattern, pattern == EPattern::NOISE, random);
            expectLiteral(source, {19, 17, 9}, s, "s " + std::to_string(s));
            expectLiteral(source, {12, 20, 5}, s, "other destination s " + std::to_string(s));
        }
}

TEST(MedianFilterTest, ProgressCancelAndTheCallbackIsDropped)
{
    std::mt19937 random(11);
    // Slices large enough for the filter to share them out to threads.
    const tLabels labels = randomLabels(170, 110, 5, 1, {0, 1, 2}, EPattern::BOXES, false, random);
    data::CRegionData source(170, 110, 5, 1);
    source.fillEntire(0);
    source.copyBlock(labels);
    data::CRegionData expected(170, 110, 5);
    expected.fill(SENTINEL);
    literalMedian(source, expected, 3);

    kvo::img::CVolumeMedianFilter<data::CRegionData> filter(3);
    EXPECT_EQ(filter.getSize(), 3);
    std::vector<std::pair<int, int>> reports;
    data::CRegionData result(170, 110, 5);
    result.fill(SENTINEL);
    filter.setProgressCallback([&](int counter, int total) {
        reports.emplace_back(counter, total);
        return counter < 1;
    });
    EXPECT_FALSE(filter(source, result));
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 5}}));
    data::CRegionData firstSlice(170, 110, 5);
    firstSlice.fill(SENTINEL);
    std::copy_n(expected.getRowPtr(0, 0), 170 * 110, firstSlice.getRowPtr(0, 0));
    EXPECT_EQ(differences(result, firstSlice), 0u);

    // The caller's callback is gone: the next run completes unasked.
    EXPECT_TRUE(filter(source, result));
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(filter.getProgressCounter(), 5);
    EXPECT_EQ(filter.getProgressTotal(), 5);
    EXPECT_EQ(differences(result, expected), 0u);

    // A whole run reports every slice once, in order; then the callback is dropped too.
    reports.clear();
    filter.setProgressCallback([&](int counter, int total) {
        reports.emplace_back(counter, total);
        return true;
    });
    EXPECT_TRUE(filter(source, result));
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_TRUE(filter(source, result));
    EXPECT_EQ(reports.size(), 5u);

    // The engine stops after the slice whose report says so, whatever the method and threads.
    for (EMethod method : {EMethod::COUNTING, EMethod::HISTOGRAM})
        for (int threads : {1, 3})
        {
            tLabels partial(170, 110, 5);
            partial.fill(SENTINEL);
            int slices = 0;
            EXPECT_FALSE(seg::medianFilter(source, partial, 3, [&] { return ++slices < 2; }, {threads, method}));
            EXPECT_EQ(slices, 2);
            for (int z = 0; z < 5; ++z)
                EXPECT_EQ(partial.at(169, 109, z), z < 2 ? expected.at(169, 109, z) : SENTINEL);
        }

    // A callback that throws leaves no worker waiting and no callback behind.
    filter.setProgressCallback([](int, int) -> bool { throw std::runtime_error("stop"); });
    EXPECT_THROW(filter(source, result), std::runtime_error);
    EXPECT_TRUE(filter(source, result));
    EXPECT_THROW(seg::medianFilter(source, result, 3, []() -> bool { throw std::runtime_error("stop"); }, {3}),
                 std::runtime_error);
}

TEST(MedianFilterTest, RefusalsEmptyRegionsAndSharedBuffers)
{
    std::mt19937 random(3);
    const tLabels source = randomLabels(9, 8, 7, 2, {0, 6, 7}, EPattern::NOISE, false, random);

    // No window size, one too large, or a margin narrower than s/2: false, nothing written,
    // no report.
    for (auto [s, margin] : {std::pair{0, 2}, std::pair{-3, 2}, std::pair{seg::MEDIAN_MAX_SIZE + 2, 2},
                             std::pair{5, 1}, std::pair{7, 2}})
    {
        tLabels narrow(9, 8, 7, margin);
        narrow.fillEntire(1);
        tLabels result(9, 8, 7);
        result.fill(SENTINEL);
        int slices = 0;
        EXPECT_FALSE(seg::medianFilter(narrow, result, s, [&] {
            ++slices;
            return true;
        })) << s;
        EXPECT_EQ(slices, 0);
        result.forEach([](std::uint16_t label) { ASSERT_EQ(label, SENTINEL); });
    }
    kvo::img::CVolumeMedianFilter<tLabels> refusing(0);
    int calls = 0;
    const auto count = [&](int, int) {
        ++calls;
        return true;
    };
    refusing.setProgressCallback(count);
    tLabels result(9, 8, 7);
    EXPECT_FALSE(refusing(source, result));
    kvo::img::CVolumeMedianFilter<tLabels> empty(5);
    empty.setProgressCallback(count);
    tLabels none(0, 8, 7);
    EXPECT_TRUE(empty(source, none)); // no voxels, but every slice is reported
    EXPECT_EQ(calls, 7);
    EXPECT_EQ(empty.getProgressTotal(), 7);

    // One volume as source and destination, and two volumes on one buffer: the result is
    // that of distinct volumes.
    tLabels expected(9, 8, 7, 2);
    expected.fillEntire(0);
    literalMedian(source, expected, 5);
    tLabels inPlace(source);
    ASSERT_TRUE(seg::medianFilter(inPlace, inPlace, 5));
    tLabels sharedSource(source);
    tLabels sharedDestination(*sharedSource.getBlock(), 9, 8, 7, 2);
    ASSERT_TRUE(seg::medianFilter(sharedSource, sharedDestination, 5, {}, {1, EMethod::COUNTING}));
    EXPECT_EQ(differences(inPlace, expected), 0u);
    EXPECT_EQ(differences(sharedDestination, expected), 0u);
}
