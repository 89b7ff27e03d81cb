// Segmentation files in the host's script mode with every plug-in: threshold, Save As,
// change the labels, Load brings them back, Save after Load asks for nothing, a save onto
// a folder fails with the message and keeps the file, a cancelled save changes nothing,
// and Undo after Load brings the changed labels back.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

} // namespace

TEST(SegmentationScriptTest, SaveLoadUndoAndFailedSaves)
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "segmentation-files";
    fs::remove_all(folder);
    fs::create_directories(folder / "a-folder");
    const std::string first = (folder / "first.seg").string();
    const std::string copy = (folder / "copy.seg").string();
    const auto result = runVelmoraScript(
        "segmentation-files",
        {
            "load phantom 48 40 36",
            "set parvex \"Lower Threshold\" 1000",
            "set parvex \"Higher Threshold\" 1500",
            "press parvex \"Perform Thresholding\"",
            "cell tolvane 1 3 Bone",
            "print info", // 0: the thresholding
            "answer file " + first,
            "press tolvane \"Save As...\"",
            "answer file " + copy,
            "menu tolvane \"Save Segmentation As...\"",
            // Other labels: soft tissue into region 2.
            "dclick tolvane 2 0",
            "set parvex \"Lower Threshold\" -200",
            "set parvex \"Higher Threshold\" 300",
            "press parvex \"Perform Thresholding\"",
            "print info", // 1: the changed labels
            "answer file " + first,
            "press tolvane Load",
            "print info", // 2: the thresholding again
            "print regions",
            // The loaded file is the current one: no dialog.
            "press tolvane Save",
            "menu tolvane \"Save Segmentation\"",
            // A folder as target, then a cancelled save: neither touches the files.
            "answer file " + (folder / "a-folder").string(),
            "press tolvane \"Save As...\"",
            "answer cancel",
            "press tolvane Save",
            "undo",
            "print info", // 3: the changed labels again
        },
        "");
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    const std::vector<std::string> blocks = labelBlocks(result.out);
    ASSERT_EQ(blocks.size(), 4u) << result.out;
    EXPECT_NE(blocks[0], blocks[1]);
    EXPECT_EQ(blocks[2], blocks[0]);
    EXPECT_EQ(blocks[3], blocks[1]);
    EXPECT_NE(result.out.find("region 1 \"Bone\""), std::string::npos) << result.out;
    // One failure message, for the folder; the cancel shows none.
    EXPECT_EQ(result.err, "message: Failed to save the segmentation data!\n");
    // Saved after the load from the same state, then kept through the failures.
    EXPECT_EQ(readWholeFile(first), readWholeFile(copy));
    EXPECT_GT(readWholeFile(first).size(), 1024u);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2u);
}
