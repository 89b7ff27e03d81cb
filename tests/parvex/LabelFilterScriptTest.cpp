// The label filters end to end in the host: a raw volume thresholded, then Perform Median
// Filtering, Dilate and Erode, with the label counts checked against masks computed here
// from the densities by the plain definitions; a cancelled run keeps the labels, and each
// Undo brings the labels before the step back.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

constexpr int X = 23, Y = 19, Z = 17;

using tMask = std::vector<std::uint8_t>;

std::size_t at(int x, int y, int z) { return (std::size_t(z) * Y + y) * X + x; }

bool inside(int x, int y, int z) { return x >= 0 && x < X && y >= 0 && y < Y && z >= 0 && z < Z; }

// Two balls of "bone", scattered bright voxels and one denser voxel, so that every filter has work to do.
std::vector<std::int16_t> densities()
{
    std::vector<std::int16_t> values(std::size_t(X) * Y * Z, 0);
    std::mt19937 random(77);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
            {
                const int a = (x - 7) * (x - 7) + (y - 8) * (y - 8) + (z - 8) * (z - 8);
                const int b = (x - 16) * (x - 16) + (y - 10) * (y - 10) + (z - 9) * (z - 9);
                if (a <= 20 || b <= 12 || random() % 13 == 0)
                    values[at(x, y, z)] = 1200;
            }
    values[at(X - 1, Y - 1, Z - 1)] = 2000; // above the thresholds' range
    return values;
}

// Binary labels {0, 1}: the 27-voxel median is 1 when at least 14 voxels are 1 (outside: 0).
tMask median1(const tMask& in)
{
    tMask out(in.size());
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
            {
                int ones = 0;
                for (int dz = -1; dz <= 1; ++dz)
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            ones += inside(x + dx, y + dy, z + dz) && in[at(x + dx, y + dy, z + dz)];
                out[at(x, y, z)] = ones >= 14;
            }
    return out;
}

// Element of radius r: the full cube, without its corners for r = 1.
bool inElement(int dx, int dy, int dz, int r)
{
    return r > 1 || std::abs(dx) + std::abs(dy) + std::abs(dz) < 3;
}

tMask dilate(const tMask& in, int r)
{
    tMask out = in;
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
                for (int dz = -r; dz <= r && in[at(x, y, z)]; ++dz)
                    for (int dy = -r; dy <= r; ++dy)
                        for (int dx = -r; dx <= r; ++dx)
                            if (inElement(dx, dy, dz, r) && inside(x + dx, y + dy, z + dz))
                                out[at(x + dx, y + dy, z + dz)] = 1;
    return out;
}

// A region voxel stays only when its whole element lies inside the volume and in the region.
tMask erode(const tMask& in, int r)
{
    tMask out = in;
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
                for (int dz = -r; dz <= r && in[at(x, y, z)]; ++dz)
                    for (int dy = -r; dy <= r; ++dy)
                        for (int dx = -r; dx <= r; ++dx)
                            if (inElement(dx, dy, dz, r) &&
                                (!inside(x + dx, y + dy, z + dz) || !in[at(x + dx, y + dy, z + dz)]))
                                out[at(x, y, z)] = 0;
    return out;
}

std::string countLine(const tMask& mask)
{
    const long count = std::count(mask.begin(), mask.end(), 1);
    return count ? "label 1: " + std::to_string(count) + "\n" : "";
}

} // namespace

TEST(LabelFilterScriptTest, MedianDilateErodeCancelAndUndo)
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "parvex-data";
    fs::create_directories(folder);
    const fs::path file = folder / "filters.raw";
    const std::vector<std::int16_t> values = densities();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(values.data()), std::streamsize(values.size() * 2));

    const auto result = runVelmoraScript(
        "parvex-label-filters",
        {
            "load raw " + file.string() + " " + std::to_string(X) + " " + std::to_string(Y) + " " + std::to_string(Z),
            "set parvex \"Lower Threshold\" 1000",
            "set parvex \"Higher Threshold\" 1500",
            "press parvex \"Perform Thresholding\"",
            "print info", // 0
            "set parvex \"Filter Size\" 1",
            "press parvex \"Perform Median Filtering\"",
            "print info", // 1
            "set parvex \"Element Size\" 2",
            "press parvex Dilate",
            "print info", // 2
            "set parvex \"Element Size\" 1",
            "press parvex Erode",
            "print info", // 3
            "answer cancel",
            "press parvex Dilate",
            "print info", // 4: cancelled, unchanged
            "undo",       // the cancelled run's step restores what it kept
            "print info", // 5
            "undo",
            "print info", // 6: before the erosion
            "undo",
            "print info", // 7: before the dilation
            "undo",
            "print info", // 8: before the median
        },
        std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;

    tMask thresholded(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        thresholded[i] = values[i] >= 1000 && values[i] < 1500;
    const tMask median = median1(thresholded);
    const tMask dilated = dilate(median, 2);
    const tMask eroded = erode(dilated, 1);
    const std::vector<std::string> expected = {countLine(thresholded), countLine(median),  countLine(dilated),
                                               countLine(eroded),      countLine(eroded),  countLine(eroded),
                                               countLine(dilated),     countLine(median),  countLine(thresholded)};
    EXPECT_EQ(labelBlocks(result.out), expected) << result.out;
    // Every step changed something, so the checks above tell the steps apart.
    EXPECT_NE(median, thresholded);
    EXPECT_NE(dilated, median);
    EXPECT_NE(eroded, dilated);
}

TEST(LabelFilterScriptTest, CommandsWithoutADataSetSaySo)
{
    const auto result = runVelmoraScript("parvex-no-data", {"press parvex \"Perform Median Filtering\""},
                                         std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(":1: error: Failed to recognize a storage entry (no data set is loaded: load one first"),
              std::string::npos)
        << result.err;
}
