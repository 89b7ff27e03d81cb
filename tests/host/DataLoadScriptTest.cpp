// Loading the built-in phantom and the shared CT files in script mode, with the figures
// the data's README states.

#include "ScriptRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";

fs::path sharedData(const std::string& name) { return fs::path(VELMORA_SHARED_DATA_DIR) / name; }

} // namespace

TEST(DataLoadScriptTest, PhantomDefaultAndAnySize)
{
    auto result = runVelmoraScript("phantom", {"load phantom", "print info", "load phantom 20 30 7", "print info"}, PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("volume: 128 128 128\nspacing: 1 1 1\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("volume: 20 30 7\nspacing: 1 1 1\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("regions: 10\nactive: 1\nmodel: 0 0\n"), std::string::npos) << result.out;
}

TEST(DataLoadScriptTest, SharedNiftiFiles)
{
    if (!fs::exists(sharedData("ct-abdomen-nifti")))
        GTEST_SKIP() << "shared CT data not found at " << VELMORA_SHARED_DATA_DIR;
    auto result = runVelmoraScript(
        "nifti",
        {"load nifti " + sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz").string(), "print info",
         "load nifti " + sharedData("ct-abdomen-nifti/example_ct.nii.gz").string(), "print info"},
        PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("volume: 122 101 30\nspacing: 3 3 3\ndensity: -1100 1207\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("volume: 122 101 112\nspacing: 3 3 3\ndensity: -1207 3382\n"), std::string::npos)
        << result.out;
}

TEST(DataLoadScriptTest, SharedDicomSeries)
{
    if (!fs::exists(sharedData("ct-abdomen-dicom-j2k")))
        GTEST_SKIP() << "shared CT data not found at " << VELMORA_SHARED_DATA_DIR;
    auto result = runVelmoraScript("dicom", {"load dicom " + sharedData("ct-abdomen-dicom-j2k").string(), "print info"},
                                   PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("volume: 512 512 20\nspacing: 0.976562 0.976562 2\ndensity: -1024 1839\n"),
              std::string::npos)
        << result.out;
}

TEST(DataLoadScriptTest, RawVolumeAndItsErrors)
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "raw-data";
    fs::create_directories(folder);
    {
        std::ofstream file(folder / "ramp.raw", std::ios::binary);
        for (int i = 0; i < 4 * 3 * 2; ++i)
        {
            const std::int16_t value = static_cast<std::int16_t>(i * 100 - 1000);
            file.write(reinterpret_cast<const char*>(&value), 2);
        }
    }
    std::ofstream(folder / "short.raw", std::ios::binary) << "abc";
    auto result = runVelmoraScript("raw", {"load raw " + (folder / "ramp.raw").string() + " 4 3 2 0.5 0.5 2.5", "print info"},
                                   PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("volume: 4 3 2\nspacing: 0.5 0.5 2.5\ndensity: -1000 1300\n"), std::string::npos)
        << result.out;

    result = runVelmoraScript("raw-short", {"load phantom 8 8 8", "load raw " + (folder / "short.raw").string() + " 4 3 2"},
                              PLUGINS);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(":2: error: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("short.raw"), std::string::npos) << result.err;

    // The command line's data source.
    result = runVelmoraScript("cmdline", {"print info"}, PLUGINS + " --data phantom:5x6x7");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("volume: 5 6 7\n"), std::string::npos) << result.out;

    // The memory limit: a volume that would pass it is refused before it is allocated and
    // the data set loaded before stays; a limit that is no size is a usage error.
    result = runVelmoraScript("max-memory", {"load phantom 8 8 8", "load phantom 128 128 128"},
                              PLUGINS + " --max-memory 1M");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(":2: error: Synthetic phantom needs 8 MiB, more than the memory limit of 1 MiB (--max-memory)"),
              std::string::npos)
        << result.err;
    result = runVelmoraScript("max-memory-kept", {"load phantom 8 8 8", "print memory", "expect consistent"},
                              PLUGINS + " --max-memory 1.5M");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("memory: peak "), std::string::npos) << result.out;
    for (const char* bad : {"0", "-1G", "12X", "nan", "G"})
    {
        result = runVelmoraScript("max-memory-bad", {"print info"}, PLUGINS + " --max-memory " + bad);
        EXPECT_EQ(result.exitCode, 2) << bad; // a usage error, before any window opens
    }
}

TEST(DataLoadScriptTest, DataExpectationsAndOutputFormats)
{
    auto result = runVelmoraScript("data-commands",
                                   {"load phantom 6 5 4", "expect label 0 0 0 0", "expect label 5 4 3 0",
                                    "expect labelcount 0 == 120", "expect labelcount 1 == 0", "expect labelcount 0 > 119",
                                    "expect regions == 10", "expect active == 1", "expect active != 0",
                                    "expect triangles == 0", "expect vertices <= 0", "slice xy 3", "slice xz 4",
                                    "slice yz 5", "print regions"},
                                   PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("region 0 \"Not classified\" 0 0 0 0 visible\n"
                               "region 1 \"Region 1\" 255 128 128 128 visible active\n"
                               "region 2 \"Region 2\" ",
                               0),
              0u)
        << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 10);

    const auto failing = [&](const std::string& name, const std::string& line, const std::string& reason) {
        const auto run = runVelmoraScript(name, {"load phantom 6 5 4", line}, PLUGINS);
        EXPECT_EQ(run.exitCode, 1) << line;
        EXPECT_NE(run.err.find(":2: error: " + reason), std::string::npos) << run.err;
    };
    failing("label-outside", "expect label 6 0 0 0", "voxel 6 0 0 is outside the volume");
    failing("label-wrong", "expect label 0 0 0 3", "expected label at 0 0 0 == 3, got 0");
    failing("count-wrong", "expect labelcount 0 < 120", "expected count of label 0 < 120, got 120");
    failing("slice-outside", "slice xy 4", "slice 4 is outside the volume (0 to 3)");
    failing("undo-empty", "undo", "nothing to undo");
    failing("redo-empty", "redo", "nothing to redo");
    failing("bad-op", "expect regions =< 3", "unknown comparison '=<'");
}
