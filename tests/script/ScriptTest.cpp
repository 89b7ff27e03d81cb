// The host's script language, driven through the test-only probe plug-in.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <tuple>

namespace {

const std::string PROBE = std::string("--plugins '") + PROBE_PLUGIN_DIR + "'";

CScriptResult probe(const std::string& name, const std::vector<std::string>& lines)
{
    return runVelmoraScript(name, lines, PROBE);
}

std::string scriptPath(const std::string& name)
{
    return (std::filesystem::path(VELMORA_TEST_BINARY_DIR) / "scripts" / (name + ".script")).string();
}

} // namespace

TEST(ScriptTest, ControlCommandsSendTheirEvents)
{
    const auto result = probe("controls", {
        "# every kind of control",
        "set probe Count 7",
        "expect control probe Result \"spin 7\"",
        "expect control probe Count 7",
        "set probe Name \"two words\"",
        "expect control probe Result \"text two words\"",
        "expect control probe Name \"two words\"",
        "check probe \"Enable Thing\" on",
        "expect control probe Result \"check on\"",
        "expect control probe \"Enable Thing\" on",
        "set probe Result untouched",
        "check probe \"Enable Thing\" on", // already on: no event
        "expect control probe Result untouched",
        "press probe \"Toggle Me\"",
        "expect control probe Result \"toggle on\"",
        "expect control probe \"Toggle Me\" on",
        "press probe \"Toggle Me\"",
        "expect control probe \"Toggle Me\" off",
        "press probe \"Do It\"",
        "expect control probe Result pressed",
        "set probe #29 -3", // by identifier offset: the spin control
        "expect control probe #29 -3",
        "menu probe \"Probe Command\"",
        "expect control probe Result \"menu command\"",
        "wait",
    });
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST(ScriptTest, AnswersAreConsumedByTheDialogsOfTheirKind)
{
    const auto result = probe("answers", {
        "answer no",
        "answer file /tmp/some.seg",
        "answer yes",
        "press probe Ask",
        "expect control probe Result no",
        "press probe Ask",
        "expect control probe Result yes",
        "press probe \"Choose File\"",
        "expect control probe Result \"file /tmp/some.seg\"",
        "answer file",
        "press probe \"Choose File\"",
        "expect control probe Result \"no file\"",
        "answer colour 10 20 30",
        "press probe \"Choose Colour\"",
        "expect control probe Result \"colour 10,20,30\"",
        "answer colour",
        "press probe \"Choose Colour\"",
        "expect control probe Result \"no colour\"",
        "press probe \"Run Long\"",
        "expect control probe Result \"steps 10\"",
        "answer cancel",
        "press probe \"Run Long\"",
        "expect control probe Result \"steps 0\"",
        "press probe Say",
    });
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "message: Hello from the probe\n");
}

TEST(ScriptTest, FailuresNameTheirLine)
{
    auto result = probe("unanswered", {"set probe Count 1", "press probe Ask", "set probe Count 2"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, scriptPath("unanswered") + ":2: error: unanswered confirmation: \"Really do it?\"\n");

    result = probe("leftover", {"answer yes", "answer colour 1 2 3"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, scriptPath("leftover") +
                              ":2: error: answers left over at the end of the script: answer yes, answer colour 1 2 3\n");

    result = probe("expectation", {"", "# comment", "set probe Count 4", "expect control probe Count 5", "set probe Count 6"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, scriptPath("expectation") + ":4: error: expected control \"Count\" to be 5, got 4\n");

    for (const auto& [name, line, reason] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"unknown-command", "jump probe", "unknown command 'jump'"},
             {"unknown-plugin", "press nobody \"Do It\"", "no plug-in named 'nobody'"},
             {"unknown-control", "press probe \"Do it\"", "plug-in Probe has no control labelled \"Do it\""},
             {"disabled", "press probe Never", "\"Never\" is disabled"},
             {"out-of-range", "set probe Count 1000", "value 1000 is outside the range of \"Count\" (-10 to 100)"},
             {"bad-answer", "answer maybe", "usage: answer yes|no|file [PATH]|colour [R G B]|cancel"},
             {"bad-compare", "expect filesize /nonexistent == 3", "no file /nonexistent"},
         })
    {
        result = probe(name, {"wait", line});
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_EQ(result.err, scriptPath(name) + ":2: error: " + reason + "\n") << name;
    }

    // Numbers that do not fit are errors, never wrapped onto another voxel; commands on the
    // data before any data set say so.
    const std::string noData = "no data set is loaded: load one first (load phantom|dicom|nifti|raw ...)";
    for (const auto& [name, first, line, reason] :
         std::vector<std::tuple<std::string, std::string, std::string, std::string>>{
             {"label-wraps", "load phantom 8 8 8", "expect label 4294967296 0 0 0", "number out of range: '4294967296'"},
             {"count-wraps", "load phantom 8 8 8", "expect labelcount 4294967297 == 0",
              "number out of range: '4294967297'"},
             {"infinite-pick", "load phantom 8 8 8", "pick inf 0 0", "not a finite number: 'inf'"},
             {"undo-without-data", "wait", "undo", noData},
             {"label-without-data", "wait", "expect label 0 0 0 0", noData},
             // These used to wait for ever on the image writer's error box.
             {"shot-missing-folder", "wait", "screenshot /nonexistent-folder/shot.png",
              "cannot save the screenshot to /nonexistent-folder/shot.png"},
             {"shot-onto-folder", "wait", "screenshot " + std::string(VELMORA_TEST_BINARY_DIR),
              "cannot save the screenshot to " + std::string(VELMORA_TEST_BINARY_DIR)},
         })
    {
        result = probe(name, {first, line});
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_EQ(result.err, scriptPath(name) + ":2: error: " + reason + "\n") << name;
    }
}

TEST(ScriptTest, PicksStrokesAndGridCells)
{
    const auto result = probe("scene", {
        "pick 1.5 2 3.25",
        "expect control probe Result \"picked 1.500000 2.000000 3.250000\"",
        "cell probe 1 0 hello",
        "dclick probe 1 0",
        "expect control probe Result \"dclick 1 0 hello\"",
        "stroke 1,2,3 4,5,6",
    });
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST(ScriptTest, TimingsAndFiles)
{
    namespace fs = std::filesystem;
    const fs::path shot = fs::path(VELMORA_TEST_BINARY_DIR) / "scripts" / "probe-shot.png";
    fs::remove(shot);
    const auto result = runVelmoraScript("timings", {"set probe Count 3", "# no timing for comments",
                                                      "screenshot " + shot.string(), "expect file " + shot.string(),
                                                      "expect filesize " + shot.string() + " > 100"},
                                         PROBE + " --timings");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::istringstream lines(result.err);
    std::string line;
    std::vector<std::string> timings;
    while (std::getline(lines, line))
        timings.push_back(line);
    ASSERT_EQ(timings.size(), 4u) << result.err;
    EXPECT_TRUE(std::regex_match(timings[0], std::regex(R"(timing: 1 \d+\.\d{3} set probe Count 3)"))) << timings[0];
    EXPECT_TRUE(std::regex_match(timings[1], std::regex(R"(timing: 3 \d+\.\d{3} screenshot .*probe-shot\.png)"))) << timings[1];
    const std::string png = readWholeFile(shot);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}
