// The Tolvane plug-in end to end in the host's script mode: labels seeded from a raw
// volume by the test-only Seeder plug-in, then regions created, the active region picked
// by a point, another region joined into it, the labels renumbered, and undone.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A plug-in folder with the Tolvane plug-in and the seeder only.
std::string pluginArguments()
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "tolvane-plugins";
    fs::create_directories(folder);
    for (const fs::path& target : {fs::path(TOLVANE_PLUGIN_FILE), fs::path(SEEDER_PLUGIN_FILE)})
    {
        const fs::path link = folder / target.filename();
        std::error_code error;
        fs::remove(link, error);
        fs::create_symlink(target, link);
    }
    return "--plugins '" + folder.string() + "'";
}

// 4 x 3 x 2 voxels whose densities are the labels: 3 on three voxels, 7 on four, 12 on five.
fs::path writeLabelVolume()
{
    const std::int16_t labels[] = {0,  3,  3, 0, 0, 3, 7, 7, 12, 12, 7, 0,
                                   0,  0,  0, 0, 12, 0, 7, 0, 12, 12, 0, 0};
    const fs::path file = fs::path(VELMORA_TEST_BINARY_DIR) / "tolvane-labels.raw";
    std::ofstream out(file, std::ios::binary);
    for (std::int16_t label : labels)
    {
        const char bytes[2] = {static_cast<char>(label & 0xFF), static_cast<char>((label >> 8) & 0xFF)};
        out.write(bytes, 2);
    }
    return file;
}

std::vector<std::string> seededScript()
{
    return {"load raw " + writeLabelVolume().string() + " 4 3 2",
            "press Seeder \"Labels From Densities\"",
            "expect labelcount 3 == 3",
            "expect labelcount 7 == 4",
            "expect labelcount 12 == 5",
            "expect regions == 10",
            "set Tolvane #30 3",
            "press Tolvane \"Create New\"",
            "expect regions == 13",
            "press Tolvane \"Pick Active\"",
            "pick 2.2 0.9 0",
            "expect active == 7",
            "press Tolvane \"Join Active\"",
            "pick 0 2 0",
            "expect labelcount 12 == 0",
            "expect labelcount 7 == 9",
            "answer yes",
            "press Tolvane RELABEL",
            "expect regions == 3",
            "expect active == 2",
            "expect labelcount 1 == 3",
            "expect labelcount 2 == 9",
            "expect label 0 2 1 2",
            "cell Tolvane 1 3 Größe",
            "print regions"};
}

} // namespace

TEST(TolvaneScriptTest, PickJoinRelabelAndUndo)
{
    std::vector<std::string> script = seededScript();
    script.insert(script.end(), {"dclick Tolvane 1 0", "expect active == 1",
                                 // Undo of the renumbering: labels 3 and 7 come back with the
                                 // table of thirteen they had, region 7 active again.
                                 "undo", "expect labelcount 3 == 3", "expect labelcount 7 == 9",
                                 "expect labelcount 1 == 0", "expect regions == 13", "expect active == 7",
                                 // Undo of the join.
                                 "undo", "expect labelcount 12 == 5", "expect labelcount 7 == 4",
                                 "expect regions == 13", "redo", "expect labelcount 12 == 0",
                                 "print regions"});
    const CScriptResult result = runVelmoraScript("tolvane-regions", script, pluginArguments());
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    const std::string afterRelabel = "region 0 \"Not classified\" 0 0 0 0 visible\n"
                                     "region 1 \"Größe\" 128 128 255 128 visible\n"
                                     "region 2 \"Region 7\" 255 128 64 128 visible active\n";
    EXPECT_EQ(result.out.rfind(afterRelabel, 0), 0u) << result.out;
    const std::size_t last = result.out.find("region 0", afterRelabel.size());
    ASSERT_NE(last, std::string::npos) << result.out;
    const std::string grown = result.out.substr(last);
    // The name given after the renumbering went with the renumbered table.
    EXPECT_NE(grown.find("region 1 \"Region 1\" 255 128 128 128 visible\n"), std::string::npos) << grown;
    EXPECT_NE(grown.find("region 7 \"Region 7\" 255 128 64 128 visible active\n"), std::string::npos) << grown;
    EXPECT_NE(grown.find("region 12 \"Unnamed\""), std::string::npos) << grown;
    EXPECT_EQ(grown.find("region 13 "), std::string::npos) << grown;
}

TEST(TolvaneScriptTest, GridLosesTheRowsThatRelabelRemoved)
{
    std::vector<std::string> script = seededScript();
    script.insert(script.end(), {"dclick Tolvane 2 4", "dclick Tolvane 3 0"});
    const CScriptResult result = runVelmoraScript("tolvane-grid-rows", script, pluginArguments());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(":27: error: cell 3 0 is outside the grid"), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("region 2 \"Region 7\" 255 128 64 128 visible active\n"), std::string::npos)
        << result.out;
}
