// "RUN ALL" end to end in the host: the phantom's bone thresholded through the Parvex panel,
// the whole pipeline (Run MC with its flat-area step, Reduce Small Areas, Run Smoothing,
// Run Decimation) through the Ostrum panel, the counts in the panel, the model saved and
// read back as a closed, manifold, outward surface; a cancelled RUN ALL keeps the model.
// The expected counts come from the same steps run here directly: they do not depend on
// the tie-breaking terms of the decimation (every collapse removes two triangles and keeps
// each piece's Euler characteristic).

#include "OstrumFiles.h"
#include "PhantomBone.h"
#include "ScriptRun.h"
#include "StlCheck.h"

#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "plugins/ostrum/mesh/CSmallAreaReduction.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";

constexpr int X = ostrumtest::BONE_X, Y = ostrumtest::BONE_Y, Z = ostrumtest::BONE_Z;
constexpr int LOWER = ostrumtest::BONE_LOWER, HIGHER = ostrumtest::BONE_HIGHER;

struct CExpected
{
    long target = 0;
    int triangles = 0;
    int vertices = 0;
};

CExpected expectedPipeline()
{
    vctl::MCTriS mesh;
    ostrumtest::extractPhantomBone(mesh);
    EXPECT_TRUE(CFlatAreaReduction().reduce(mesh));
    EXPECT_TRUE(CSmallAreaReduction().reduce(mesh, 500));
    EXPECT_TRUE(CMeshSmoothing().smooth(mesh, 5, 0.6073, 0.1));
    CExpected expected;
    expected.target = mesh.getNumOfTris() / 3 + 1;
    EXPECT_TRUE(CMeshDecimation().decimate(mesh, expected.target));
    expected.triangles = mesh.getNumOfTris();
    expected.vertices = mesh.getNumOfVertices();
    return expected;
}

} // namespace

TEST(OstrumRunAllScriptTest, WholePipelineOnThePhantomGivesASavedClosedModel)
{
    const CExpected expected = expectedPipeline();
    ASSERT_GT(expected.triangles, 500);
    ASSERT_LT(expected.triangles, expected.target);
    const std::string triangles = std::to_string(expected.triangles);
    const std::string vertices = std::to_string(expected.vertices);
    const fs::path folder = ostrumtest::scratchFolder("run-all");
    const std::string saved = (folder / "bone.stl").string();
    const std::string again = (folder / "again.stl").string();

    const auto result = runVelmoraScript(
        "ostrum-run-all",
        {
            "load phantom " + std::to_string(X) + " " + std::to_string(Y) + " " + std::to_string(Z),
            "set parvex \"Lower Threshold\" " + std::to_string(LOWER),
            "set parvex \"Higher Threshold\" " + std::to_string(HIGHER),
            "press parvex \"Perform Thresholding\"",
            "set ostrum \"End triangles count\" " + std::to_string(expected.target),
            "press ostrum \"RUN ALL\"",
            "expect triangles == " + triangles,
            "expect vertices == " + vertices,
            "expect control ostrum \"Triangles count\" " + triangles,
            "expect control ostrum \"Nodes count\" " + vertices,
            "answer file " + saved,
            "press ostrum \"Save Model\"",
            "expect filesize " + saved + " == " + std::to_string(84 + 50 * expected.triangles),
            // A RUN ALL cancelled in its extraction runs no later step: the model stays.
            "set ostrum \"End triangles count\" 100",
            "answer cancel",
            "press ostrum \"RUN ALL\"",
            "expect triangles == " + triangles,
            "answer file " + again,
            "press ostrum \"Save Model\"",
        },
        PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(ostrumtest::readBytes(again), ostrumtest::readBytes(saved));

    const stlcheck::CStlFile file = stlcheck::readStl(saved);
    ASSERT_EQ(file.problem, "");
    EXPECT_EQ(file.count, std::uint32_t(expected.triangles));
    const stlcheck::CSurfaceReport surface = stlcheck::checkSurface(file);
    EXPECT_EQ(surface.problem, "");
    EXPECT_EQ(surface.vertices, std::size_t(expected.vertices));
    EXPECT_GT(surface.volume, 0.0);
}
