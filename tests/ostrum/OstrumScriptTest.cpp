// "Run MC" and "Save Model" end to end in the host: the phantom's bone shell thresholded
// through the Parvex panel, its surface built and saved through the Ostrum panel and menu.
// The expected counts come from thresholding the same phantom here with a plain loop and
// extracting its surface directly.

#include "OstrumFiles.h"
#include "PhantomBone.h"
#include "ScriptRun.h"

#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";

constexpr int X = ostrumtest::BONE_X, Y = ostrumtest::BONE_Y, Z = ostrumtest::BONE_Z;
constexpr int LOWER = ostrumtest::BONE_LOWER, HIGHER = ostrumtest::BONE_HIGHER;

struct CCounts
{
    int triangles = 0;
    int vertices = 0;
};

// Label 1 where LOWER <= density < HIGHER, then the surface of label 1 at 1 mm voxels with
// its flat areas reduced ("Flow reduction" is on by default).
CCounts expectedBoneCounts()
{
    vctl::MCTriS mesh;
    ostrumtest::extractPhantomBone(mesh);
    EXPECT_TRUE(CFlatAreaReduction().reduce(mesh));
    return {mesh.getNumOfTris(), mesh.getNumOfVertices()};
}

} // namespace

TEST(OstrumScriptTest, BoneModelOfThePhantomIsBuiltCountedAndSaved)
{
    const CCounts counts = expectedBoneCounts();
    ASSERT_GT(counts.triangles, 1000);
    const std::string triangles = std::to_string(counts.triangles);
    const std::string vertices = std::to_string(counts.vertices);
    const std::string bytes = std::to_string(84 + 50 * counts.triangles);
    const fs::path folder = ostrumtest::scratchFolder("script");
    const std::string saved = (folder / "bone.stl").string();
    const std::string fromMenu = (folder / "menu.stl").string();

    const auto result = runVelmoraScript(
        "ostrum-bone",
        {
            "load phantom " + std::to_string(X) + " " + std::to_string(Y) + " " + std::to_string(Z),
            // Nothing to save before the first model: no file is asked for.
            "press ostrum \"Save Model\"",
            "expect control ostrum \"Triangles count\" 0",
            "set parvex \"Lower Threshold\" " + std::to_string(LOWER),
            "set parvex \"Higher Threshold\" " + std::to_string(HIGHER),
            "press parvex \"Perform Thresholding\"",
            // A cancelled run leaves the (empty) model alone.
            "answer cancel",
            "press ostrum \"Run MC\"",
            "expect triangles == 0",
            "press ostrum \"Run MC\"",
            "expect triangles == " + triangles,
            "expect vertices == " + vertices,
            "expect control ostrum \"Triangles count\" " + triangles,
            "expect control ostrum \"Nodes count\" " + vertices,
            "answer file " + saved,
            "press ostrum \"Save Model\"",
            "expect filesize " + saved + " == " + bytes,
            "answer file " + fromMenu,
            "menu ostrum \"Save Model\"",
            "expect filesize " + fromMenu + " == " + bytes,
            // A cancelled selector writes nothing.
            "answer file",
            "press ostrum \"Save Model\"",
        },
        PLUGINS);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"bone.stl", "menu.stl"}));
}

TEST(OstrumScriptTest, SaveIntoAFolderReportsTheError)
{
    const fs::path folder = ostrumtest::scratchFolder("script-error");
    fs::create_directory(folder / "model.stl");
    const auto result = runVelmoraScript("ostrum-error",
                                         {
                                             "load phantom 32 32 32",
                                             "set parvex \"Lower Threshold\" 1000",
                                             "set parvex \"Higher Threshold\" 1500",
                                             "press parvex \"Perform Thresholding\"",
                                             "press ostrum \"Run MC\"",
                                             "expect triangles > 0",
                                             "answer file " + (folder / "model.stl").string(),
                                             "press ostrum \"Save Model\"",
                                         },
                                         PLUGINS);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(result.err, "message: Failed to save the model!\n");
    EXPECT_EQ(ostrumtest::filesIn(folder), (std::vector<std::string>{"model.stl"}));
    EXPECT_TRUE(fs::is_directory(folder / "model.stl"));
}

TEST(OstrumScriptTest, RunMcBeyondTheMemoryLimitIsRefusedAndKeepsTheModel)
{
    // 64^3 voxels take 1 MiB of densities and labels; the bone shell's surface fits in 8 MiB,
    // the surface of every soft-tissue voxel (noisy, a vertex on most cube edges) does not.
    const auto result = runVelmoraScript("ostrum-memory",
                                         {
                                             "load phantom 64 64 64",
                                             "set parvex \"Lower Threshold\" 1000",
                                             "set parvex \"Higher Threshold\" 1500",
                                             "press parvex \"Perform Thresholding\"",
                                             "press ostrum \"Run MC\"",
                                             "print info",
                                             "set parvex \"Lower Threshold\" -20",
                                             "set parvex \"Higher Threshold\" 60",
                                             "press parvex \"Perform Thresholding\"",
                                             "press ostrum \"Run MC\"",
                                             "print info",
                                             "expect consistent",
                                         },
                                         PLUGINS + " --max-memory 8M");
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_NE(result.err.find("message: The surface mesh needs "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("more than the memory limit of 8 MiB (--max-memory)"), std::string::npos) << result.err;
    // Both print-outs show the bone model: the refused run left it as it was.
    const std::size_t first = result.out.find("model: ");
    ASSERT_NE(first, std::string::npos) << result.out;
    const std::string model = result.out.substr(first, result.out.find('\n', first) - first);
    EXPECT_NE(model, "model: 0 0");
    EXPECT_NE(result.out.find(model, first + 1), std::string::npos) << result.out;
}

TEST(OstrumScriptTest, ProgressOfLongCommandsIsPrintedByTenthsWhenAsked)
{
    // Each command's progress window's message with the tenths it passed; a cancelled one
    // prints nothing (it stops at its first report).
    const auto result = runVelmoraScript("ostrum-progress",
                                         {
                                             "load phantom " + std::to_string(X) + " " + std::to_string(Y) + " " + std::to_string(Z),
                                             "set parvex \"Lower Threshold\" " + std::to_string(LOWER),
                                             "set parvex \"Higher Threshold\" " + std::to_string(HIGHER),
                                             "press parvex \"Perform Median Filtering\"",
                                             "press parvex \"Perform Thresholding\"",
                                             "press ostrum \"Run MC\"",
                                             "set ostrum \"Number of iterations\" 5",
                                             "press ostrum \"Run Smoothing\"",
                                             "answer cancel",
                                             "press ostrum \"Run Decimation\"",
                                             "expect triangles > 1000",
                                         },
                                         PLUGINS + " --progress");
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    std::vector<std::pair<std::string, std::vector<int>>> commands;
    std::istringstream lines(result.err);
    const std::regex progress(R"(progress: (.*) (\d+)%)");
    for (std::string line; std::getline(lines, line);)
    {
        std::smatch match;
        if (line.rfind("progress: ", 0) != 0)
            continue;
        ASSERT_TRUE(std::regex_match(line, match, progress)) << line;
        const int percent = std::stoi(match[2]);
        EXPECT_EQ(percent % 10, 0) << line;
        // A new command starts where the message changes (a filter of several passes may
        // count its tenths again for each).
        if (commands.empty() || commands.back().first != match[1])
            commands.push_back({match[1], {}});
        commands.back().second.push_back(percent);
    }
    std::vector<std::string> messages;
    for (const auto& [message, tenths] : commands)
        messages.push_back(message);
    const std::vector<std::string> expected = {
        "Applying median filter, please wait...",   "Applying thresholding filter, please wait...",
        "Creating model, please wait...",           "Reducing model flat areas, please wait...",
        "Smoothing model, please wait...",
    };
    ASSERT_EQ(messages, expected) << result.err;
    for (const auto& [message, tenths] : commands)
        for (int percent : tenths)
            EXPECT_TRUE(percent >= 10 && percent <= 100) << message << " " << percent;
    // GTK has nothing to complain about, at start or in use (a spin control narrower than
    // GTK's minimum gave a critical warning at every layout).
    const std::string raw = readWholeFile(fs::path(VELMORA_TEST_BINARY_DIR) / "scripts" / "ostrum-progress.err");
    EXPECT_EQ(raw.find("Gtk-"), std::string::npos) << raw;
    // Smoothing reports twice per iteration, to the end.
    EXPECT_EQ(commands[4].second, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}
