// The threshold filter on tiny volumes voxel by voxel, against the literal loop on random
// volumes (serial and threaded), and its progress, cancel and refusal behaviour.

#include "plugins/parvex/seg/CThresholdFilter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using tDensity = seg::CThresholdFilter::tDensityVolume;
using tLabels = seg::CThresholdFilter::tLabelVolume;

bool threshold(const tDensity& input, tLabels& output, std::int16_t lower, std::int16_t higher,
               std::uint16_t inside = 1, std::uint16_t outside = 0, int threads = 1)
{
    seg::CThresholdFilter filter;
    filter.setInput(&input);
    filter.setOutput(&output);
    filter.setBounds(lower, higher);
    filter.setLabels(inside, outside);
    filter.setThreadCount(threads);
    return filter.run();
}

tDensity randomDensity(int x, int y, int z, int margin, std::mt19937& random)
{
    tDensity volume(x, y, z, margin);
    std::uniform_int_distribution<int> value(-32768, 32767);
    // Margins too: the filter must not read them into the result.
    for (std::size_t i = 0; i < volume.getBufferSize(); ++i)
        volume.getBlock()->getData()[i] = static_cast<std::int16_t>(value(random));
    return volume;
}

} // namespace

TEST(ThresholdFilterTest, HalfOpenIntervalOnTinyVolumes)
{
    tDensity input(2, 2, 1);
    const std::int16_t values[] = {-1024, 0, 499, 500};
    for (int i = 0; i < 4; ++i)
        input.at(i % 2, i / 2, 0) = values[i];
    tLabels output(2, 2, 1);
    output.fill(7);
    ASSERT_TRUE(threshold(input, output, 0, 500, 3, 0));
    EXPECT_EQ(output.at(0, 0, 0), 0);
    EXPECT_EQ(output.at(1, 0, 0), 3);
    EXPECT_EQ(output.at(0, 1, 0), 3);
    EXPECT_EQ(output.at(1, 1, 0), 0);

    // Bounds compared as signed 16-bit values, the higher one excluded, at the extremes too.
    tDensity edges(9, 1, 1);
    const std::int16_t edgeValues[] = {-32768, -32767, 499, 500, 501, 2499, 2500, 32766, 32767};
    for (int x = 0; x < 9; ++x)
        edges.at(x, 0, 0) = edgeValues[x];
    tLabels labels(9, 1, 1);
    ASSERT_TRUE(threshold(edges, labels, 500, 2500, 5, 2));
    const std::uint16_t expected[] = {2, 2, 2, 5, 5, 5, 2, 2, 2};
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(labels.at(x, 0, 0), expected[x]) << "x = " << x;
    ASSERT_TRUE(threshold(edges, labels, -32768, 32767, 5, 2));
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(labels.at(x, 0, 0), 5) << "x = " << x;
    EXPECT_EQ(labels.at(8, 0, 0), 2); // the maximum itself is never inside

    // lower == higher and lower > higher: nothing is inside.
    for (auto [lower, higher] : {std::pair<int, int>{500, 500}, {2500, 500}, {-32768, -32768}})
    {
        labels.fill(9);
        ASSERT_TRUE(threshold(edges, labels, static_cast<std::int16_t>(lower), static_cast<std::int16_t>(higher), 5, 0));
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(labels.at(x, 0, 0), 0) << lower << " " << higher << " x = " << x;
    }
}

TEST(ThresholdFilterTest, SmallerInputLabelsItsBlockLargerInputIsRefused)
{
    tDensity input(3, 2, 2);
    input.fill(100);
    tLabels output(5, 4, 3, 1);
    output.fillEntire(8);
    ASSERT_TRUE(threshold(input, output, 0, 200, 4, 0));
    for (int z = -1; z < 4; ++z)
        for (int y = -1; y < 5; ++y)
            for (int x = -1; x < 6; ++x)
            {
                const bool inBlock = x >= 0 && x < 3 && y >= 0 && y < 2 && z >= 0 && z < 2;
                EXPECT_EQ(output.at(x, y, z), inBlock ? 4 : 8) << x << " " << y << " " << z;
            }

    // Larger along any one axis: refused before anything is written.
    for (auto [x, y, z] : {std::tuple{6, 4, 3}, std::tuple{5, 5, 3}, std::tuple{5, 4, 4}})
    {
        tDensity large(x, y, z);
        large.fill(100);
        tLabels labels(5, 4, 3);
        labels.fill(8);
        int calls = 0;
        seg::CThresholdFilter filter;
        filter.setInput(&large);
        filter.setOutput(&labels);
        filter.setBounds(0, 200);
        filter.setProgressCallback([&calls](int, int) { ++calls; return true; });
        EXPECT_FALSE(filter.run());
        EXPECT_EQ(calls, 0);
        labels.forEach([](std::uint16_t label) { ASSERT_EQ(label, 8); });
    }

    seg::CThresholdFilter missing;
    EXPECT_FALSE(missing.run());
    missing.setInput(&input);
    EXPECT_FALSE(missing.run());
}

TEST(ThresholdFilterTest, ProgressAfterEachSliceCancelKeepsSlicesDoneAndCallbackIsDropped)
{
    for (int threads : {1, 4})
    {
        // 256 x 256 slices: large enough for the threaded path.
        tDensity input(256, 256, 5);
        input.fill(10);
        tLabels output(256, 256, 5);
        output.fill(9);
        std::vector<std::pair<int, int>> reports;
        seg::CThresholdFilter filter;
        filter.setInput(&input);
        filter.setOutput(&output);
        filter.setBounds(0, 20);
        filter.setLabels(1, 0);
        filter.setThreadCount(threads);
        filter.setProgressCallback([&](int current, int total) {
            reports.emplace_back(current, total);
            // Every slice reported so far is complete.
            EXPECT_EQ(output.at(255, 255, current - 1), 1);
            return current < 2;
        });
        EXPECT_FALSE(filter.run());
        EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 5}, {2, 5}})) << "threads " << threads;
        for (int z = 0; z < 5; ++z)
            EXPECT_EQ(output.at(128, 7, z), z < 2 ? 1 : 9) << "threads " << threads << " z " << z;

        // The caller's callback is gone after the run: a second run completes unasked.
        EXPECT_TRUE(filter.run());
        EXPECT_EQ(reports.size(), 2u);
        EXPECT_EQ(filter.getProgressCounter(), 5);
        EXPECT_EQ(filter.getProgressTotal(), 5);
    }
}

TEST(ThresholdFilterTest, ThrowingCallbackReleasesTheWorkers)
{
    tDensity input(256, 256, 3);
    input.fill(1);
    tLabels output(256, 256, 3);
    seg::CThresholdFilter filter;
    filter.setInput(&input);
    filter.setOutput(&output);
    filter.setThreadCount(3);
    filter.setProgressCallback([](int, int) -> bool { throw std::runtime_error("stop"); });
    EXPECT_THROW(filter.run(), std::runtime_error);
    EXPECT_TRUE(filter.run()); // no callback left, no worker left waiting
}

TEST(ThresholdFilterTest, EqualsTheLiteralLoopSerialAndThreaded)
{
    std::mt19937 random(20240611);
    struct CCase
    {
        int x, y, z, inputMargin, outputMargin;
    };
    // Odd row lengths (vector tails), margins on either side, slices below and above the
    // size at which rows are shared out to threads.
    for (const CCase& c : {CCase{13, 7, 3, 0, 0}, CCase{301, 259, 3, 0, 0}, CCase{301, 259, 2, 2, 0},
                           CCase{257, 300, 2, 0, 3}, CCase{1, 1, 1, 1, 1}})
    {
        const tDensity input = randomDensity(c.x, c.y, c.z, c.inputMargin, random);
        std::uniform_int_distribution<int> bound(-3000, 3000);
        const auto lower = static_cast<std::int16_t>(bound(random));
        const auto higher = static_cast<std::int16_t>(lower + 1500);
        tLabels reference(c.x, c.y, c.z, c.outputMargin);
        reference.fillEntire(77);
        for (int z = 0; z < c.z; ++z)
            for (int y = 0; y < c.y; ++y)
                for (int x = 0; x < c.x; ++x)
                {
                    const std::int16_t v = input.at(x, y, z);
                    reference.at(x, y, z) = (v < lower || v >= higher) ? 0 : 6;
                }
        for (int threads : {1, 2, 5})
        {
            tLabels output(c.x, c.y, c.z, c.outputMargin);
            output.fillEntire(77);
            ASSERT_TRUE(threshold(input, output, lower, higher, 6, 0, threads));
            const std::uint16_t* got = output.getBlock()->getData();
            const std::uint16_t* want = reference.getBlock()->getData();
            std::size_t differences = 0;
            for (std::size_t i = 0; i < output.getBufferSize(); ++i)
                differences += got[i] != want[i];
            EXPECT_EQ(differences, 0u) << c.x << "x" << c.y << "x" << c.z << " threads " << threads;
        }
    }
}
