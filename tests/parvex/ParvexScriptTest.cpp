// Thresholding end to end in the host: a raw volume written here, bounds picked in the
// scene, labels counted, undone and redone, and a run cancelled in its progress window.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";

// 10 x 8 x 6 voxels of density 0, a block [2, 6) x [2, 5) x [1, 4) of 1200 ("bone"), 300 at
// (0, 0, 0) and 2000 at (9, 7, 5).
fs::path writeVolume()
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "parvex-data";
    fs::create_directories(folder);
    const fs::path file = folder / "block.raw";
    std::ofstream out(file, std::ios::binary);
    for (int z = 0; z < 6; ++z)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
            {
                std::int16_t value = 0;
                if (x >= 2 && x < 6 && y >= 2 && y < 5 && z >= 1 && z < 4)
                    value = 1200;
                if (x == 0 && y == 0 && z == 0)
                    value = 300;
                if (x == 9 && y == 7 && z == 5)
                    value = 2000;
                out.write(reinterpret_cast<const char*>(&value), sizeof value);
            }
    return file;
}

} // namespace

TEST(ParvexScriptTest, ThresholdWithPickedBoundsUndoRedoAndCancel)
{
    const fs::path volume = writeVolume();
    const auto result = runVelmoraScript(
        "parvex-threshold",
        {
            "load raw " + volume.string() + " 10 8 6",
            // The spins follow the data's range.
            "expect control parvex \"Lower Threshold\" 0",
            "expect control parvex \"Higher Threshold\" 2000",
            "press parvex \"Pick Lower\"",
            "pick 3.2 2.6 1.4", // voxel (3, 3, 1)
            "press parvex \"Pick Higher\"",
            "pick 8.6 6.5 4.5", // voxel (9, 7, 5)
            "expect control parvex \"Lower Threshold\" 1200",
            "expect control parvex \"Higher Threshold\" 2000",
            // Pick Lower then Pick Higher and a single click: only the higher bound moves.
            "press parvex \"Pick Lower\"",
            "press parvex \"Pick Higher\"",
            "pick 0 0 0",
            "expect control parvex \"Lower Threshold\" 1200",
            "expect control parvex \"Higher Threshold\" 300",
            "set parvex \"Higher Threshold\" 2000",
            "press parvex \"Perform Thresholding\"",
            "expect labelcount 1 == 36",
            "expect labelcount 0 == 444",
            "expect label 2 2 1 1",
            "expect label 9 7 5 0",
            "undo",
            "expect labelcount 1 == 0",
            "expect labelcount 0 == 480",
            "redo",
            "expect labelcount 1 == 36",
            // Cancelled: the labels stay, the snapshot is recorded all the same.
            "set parvex \"Lower Threshold\" 0",
            "answer cancel",
            "press parvex \"Perform Thresholding\"",
            "expect labelcount 1 == 36",
            "undo",
            "expect labelcount 1 == 36",
            "undo",
            "expect labelcount 1 == 0",
            // Clearing the samples wipes the labels; undo brings them back.
            "redo",
            "redo",
            "press parvex \"Clear Samples\"",
            "expect labelcount 1 == 0",
            "undo",
            "expect labelcount 1 == 36",
        },
        PLUGINS);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
}

TEST(ParvexScriptTest, StrokesNeedMarkingAndStateZeroEndsIt)
{
    const fs::path volume = writeVolume();
    const auto result = runVelmoraScript("parvex-marking",
                                         {
                                             "load raw " + volume.string() + " 10 8 6",
                                             "press parvex \"Mark Positive\"",
                                             "expect control parvex \"Mark Positive\" on",
                                             "stroke 3,3,2 4,3,2 0,0,0",
                                             "press parvex \"Mark Negative\"",
                                             // The other toggle stays as the user left it.
                                             "expect control parvex \"Mark Positive\" on",
                                             "expect control parvex \"Mark Negative\" on",
                                             "stroke 3,3,2",
                                             "press parvex \"Clear Samples\"",
                                             "expect control parvex \"Mark Positive\" off",
                                             "expect control parvex \"Mark Negative\" off",
                                         },
                                         PLUGINS);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
}
