// Bone models of the shared CT data built and saved in the host, then read back from the
// STL file alone: a closed, consistently oriented surface facing outwards, whose extent in
// millimetres is that of the thresholded voxels times the data's voxel spacing.

#include "OstrumFiles.h"
#include "ScriptRun.h"
#include "StlCheck.h"

#include "host/import/CDicomSeriesReader.h"
#include "host/import/CLoadedVolume.h"
#include "host/import/CNiftiReader.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

namespace fs = std::filesystem;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";
constexpr int LOWER = 200;

fs::path sharedData(const std::string& name) { return fs::path(VELMORA_SHARED_DATA_DIR) / name; }

struct CDataCase
{
    std::string name;
    std::string load; //!< the script's load command
    std::string path;
    bool dicom = false;
};

void PrintTo(const CDataCase& data, std::ostream* out) { *out << data.name; }

// The bone mask [LOWER, highest) of the volume, its voxel bounds, and the counts of its
// surface extracted directly.
struct CExpected
{
    int highest = 0;
    int low[3] = {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
    int high[3] = {-1, -1, -1};
    std::size_t voxels = 0;
    int triangles = 0;
    int vertices = 0;
};

CExpected expectedModel(const velmora::import::CLoadedVolume& volume)
{
    CExpected expected;
    expected.highest = *std::max_element(volume.voxels.begin(), volume.voxels.end());
    CMarchingCubes::tRegionVolume labels(volume.xSize, volume.ySize, volume.zSize);
    for (int z = 0; z < volume.zSize; ++z)
        for (int y = 0; y < volume.ySize; ++y)
            for (int x = 0; x < volume.xSize; ++x)
            {
                const int density = volume.at(x, y, z);
                const bool bone = density >= LOWER && density < expected.highest;
                labels.at(x, y, z) = bone ? 1 : 0;
                if (!bone)
                    continue;
                ++expected.voxels;
                const int at[3] = {x, y, z};
                for (int i = 0; i < 3; ++i)
                {
                    expected.low[i] = std::min(expected.low[i], at[i]);
                    expected.high[i] = std::max(expected.high[i], at[i]);
                }
            }
    CMarchingCubes extractor;
    extractor.setDimensions(volume.xSize, volume.ySize, volume.zSize);
    extractor.setVoxelSize(volume.dx, volume.dy, volume.dz);
    vctl::MCTriS mesh;
    EXPECT_TRUE(extractor.extract(&mesh, 1, labels));
    // "Run MC" reduces the flat areas too ("Flow reduction" is on by default).
    EXPECT_TRUE(CFlatAreaReduction().reduce(mesh));
    expected.triangles = mesh.getNumOfTris();
    expected.vertices = mesh.getNumOfVertices();
    return expected;
}

class RealDataModelTest : public ::testing::TestWithParam<CDataCase>
{
};

} // namespace

TEST_P(RealDataModelTest, SavedBoneModelIsClosedOutwardAndToScale)
{
    const CDataCase& data = GetParam();
    if (!fs::exists(data.path))
        GTEST_SKIP() << "shared CT data not found at " << VELMORA_SHARED_DATA_DIR;
    const velmora::import::CLoadedVolume volume = data.dicom ? velmora::import::CDicomSeriesReader().read(data.path)
                                                             : velmora::import::CNiftiReader().read(data.path);
    const CExpected expected = expectedModel(volume);
    ASSERT_GT(expected.voxels, 1000u);

    const fs::path folder = ostrumtest::scratchFolder("real-" + data.name);
    const fs::path saved = folder / "bone.stl";
    const auto result = runVelmoraScript("ostrum-real-" + data.name,
                                         {
                                             data.load,
                                             "set parvex \"Lower Threshold\" " + std::to_string(LOWER),
                                             "set parvex \"Higher Threshold\" " + std::to_string(expected.highest),
                                             "press parvex \"Perform Thresholding\"",
                                             "expect labelcount 1 == " + std::to_string(expected.voxels),
                                             "press ostrum \"Run MC\"",
                                             "expect triangles == " + std::to_string(expected.triangles),
                                             "expect vertices == " + std::to_string(expected.vertices),
                                             "answer file " + saved.string(),
                                             "press ostrum \"Save Model\"",
                                         },
                                         PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;

    const stlcheck::CStlFile file = stlcheck::readStl(saved);
    ASSERT_EQ(file.problem, "");
    EXPECT_EQ(file.header, stlcheck::expectedHeader());
    EXPECT_EQ(file.count, std::uint32_t(expected.triangles));
    const stlcheck::CSurfaceReport surface = stlcheck::checkSurface(file);
    EXPECT_EQ(surface.problem, "");
    // Exact welding finds every vertex of the model once.
    EXPECT_EQ(surface.vertices, std::size_t(expected.vertices));
    // Closed triangle surface: 3 T = 2 E.
    EXPECT_EQ(3 * std::size_t(file.count), 2 * surface.edges);

    // The outermost vertices lie half a voxel beyond the outermost bone voxel centres:
    // from low × spacing to (high + 1) × spacing in millimetres.
    const double spacing[3] = {volume.dx, volume.dy, volume.dz};
    for (int i = 0; i < 3; ++i)
    {
        const double size = static_cast<float>(spacing[i]);
        EXPECT_NEAR(surface.low[i], expected.low[i] * size, 1e-3) << "axis " << i;
        EXPECT_NEAR(surface.high[i], (expected.high[i] + 1) * size, 1e-3) << "axis " << i;
    }
    // The surface cuts the corners of the voxels it wraps: it encloses less than they fill,
    // but of the same order (volume in mm³, so a wrong voxel size shows here too).
    const double voxelVolume = volume.dx * volume.dy * volume.dz;
    EXPECT_LT(surface.volume, expected.voxels * voxelVolume);
    EXPECT_GT(surface.volume, 0.3 * expected.voxels * voxelVolume);
}

INSTANTIATE_TEST_SUITE_P(
    SharedData, RealDataModelTest,
    ::testing::Values(
        CDataCase{"dicom", "load dicom " + sharedData("ct-abdomen-dicom-j2k").string(),
                  sharedData("ct-abdomen-dicom-j2k").string(), true},
        CDataCase{"nifti", "load nifti " + sharedData("ct-abdomen-nifti/example_ct.nii.gz").string(),
                  sharedData("ct-abdomen-nifti/example_ct.nii.gz").string(), false},
        CDataCase{"nifti-small", "load nifti " + sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz").string(),
                  sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz").string(), false}),
    [](const ::testing::TestParamInfo<CDataCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });
