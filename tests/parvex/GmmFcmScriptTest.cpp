// GMM and FCM segmentation end to end in the host, on its built-in phantom: strokes on bone
// and on soft tissue and air with Mark Positive / Mark Negative, the preview of the current
// slice after each stroke and its undo, Perform GMM Segmentation, and FCM with the automatic
// region count. The expected label counts come from the same algorithms run here on the
// same phantom, so the test checks what the plug-in does with them: which voxels, which
// slice, which undo steps.

#include "ScriptRun.h"

#include "bench/parvex/CDensityPhantom.h"
#include "plugins/parvex/seg/CASVolumeFCM.h"
#include "plugins/parvex/seg/CVolumeEM.h"
#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";
constexpr int SIZE = 64;
constexpr int SLICE = SIZE / 2; // the host's XY slice after loading

using tEstimator = seg::CVolumeEM<seg::CVoxelNeighbourhoodSampler>;
using tLabels = kvo::img::CVolume<std::uint16_t>;

std::string strokeLine(const std::vector<osg::Vec3f>& points)
{
    std::string line = "stroke";
    for (const osg::Vec3f& p : points)
        line += " " + std::to_string(p.x()) + "," + std::to_string(p.y()) + "," + std::to_string(p.z());
    return line;
}

std::int64_t ones(const tLabels& labels)
{
    std::int64_t count = 0;
    labels.forEach([&count](const std::uint16_t& label) { count += label == 1; });
    return count;
}

} // namespace

TEST(GmmFcmScriptTest, StrokesPreviewUndoGmmAndAutomaticFcmOnThePhantom)
{
    data::CDensityData density;
    makeDensityPhantom(density, SIZE, SIZE, SIZE);
    const CPhantomStrokes strokes = phantomStrokes(density, 20);
    ASSERT_EQ(strokes.positive.size(), 20u);
    ASSERT_EQ(strokes.negative.size(), 20u);

    // Thresholding 300 .. 3000 first, so that there are labels for the preview to replace.
    tLabels labels(SIZE, SIZE, SIZE);
    for (int z = 0; z < SIZE; ++z)
        for (int y = 0; y < SIZE; ++y)
            for (int x = 0; x < SIZE; ++x)
                labels.at(x, y, z) = density.at(x, y, z) >= 300 && density.at(x, y, z) < 3000;
    const std::int64_t thresholded = ones(labels);

    // The preview after each stroke, and the whole volume.
    seg::CVoxelNeighbourhoodSampler positive, negative;
    for (const osg::Vec3f& point : strokes.positive)
        positive.addSamples(point, density);
    data::COrthoSliceXY slice;
    slice.setPosition(SLICE);
    slice.setSize(SIZE, SIZE);
    tEstimator first;
    first.train(positive.getTrainingSet(), negative.getTrainingSet());
    ASSERT_GT(first.segmentSlice(density, labels, slice), 0);
    const std::int64_t afterPositive = ones(labels);
    for (const osg::Vec3f& point : strokes.negative)
        negative.addSamples(point, density);
    tEstimator both;
    both.train(positive.getTrainingSet(), negative.getTrainingSet());
    ASSERT_GT(both.segmentSlice(density, labels, slice), 0);
    const std::int64_t afterNegative = ones(labels);
    ASSERT_TRUE(both.segment(density, labels, 0));
    const std::int64_t gmm = ones(labels);
    // Bone is what was marked positive, soft tissue what was marked negative.
    EXPECT_EQ(both.getLabel(velmora::import::CPhantomSource::BONE), 1);
    EXPECT_EQ(both.getLabel(velmora::import::CPhantomSource::TISSUE), 0);
    EXPECT_EQ(both.getLabel(velmora::import::CPhantomSource::AIR), 0);

    seg::CASVolumeFCM fcm(0, 1.5);
    ASSERT_TRUE(fcm.run(density, labels));
    std::map<int, std::int64_t> classes;
    labels.forEach([&classes](const std::uint16_t& label) { ++classes[label]; });
    ASSERT_GE(classes.size(), 3u);
    ASSERT_EQ(classes.count(0), 0u);

    const std::int64_t voxels = std::int64_t(SIZE) * SIZE * SIZE;
    std::vector<std::string> script = {
        "load phantom 64 64 64",
        "set parvex \"Lower Threshold\" 300",
        "set parvex \"Higher Threshold\" 3000",
        "press parvex \"Perform Thresholding\"",
        "expect labelcount 1 == " + std::to_string(thresholded),
        "press parvex \"Mark Positive\"",
        strokeLine(strokes.positive),
        "expect labelcount 1 == " + std::to_string(afterPositive),
        "press parvex \"Mark Negative\"",
        strokeLine(strokes.negative),
        "expect labelcount 1 == " + std::to_string(afterNegative),
        "expect labelcount 0 == " + std::to_string(voxels - afterNegative),
        // Each undo takes back one stroke's preview.
        "undo",
        "expect labelcount 1 == " + std::to_string(afterPositive),
        "undo",
        "expect labelcount 1 == " + std::to_string(thresholded),
        "redo",
        "redo",
        "expect labelcount 1 == " + std::to_string(afterNegative),
        "press parvex \"Perform GMM Segmentation\"",
        "expect labelcount 1 == " + std::to_string(gmm),
        "expect labelcount 0 == " + std::to_string(voxels - gmm),
        "undo",
        "expect labelcount 1 == " + std::to_string(afterNegative),
        "set parvex \"Num. of Regions\" 0",
        "press parvex \"Perform FCM Segmentation\"",
        "expect labelcount 0 == 0",
        "expect regions >= " + std::to_string(fcm.getClusterCount() + 1),
    };
    for (const auto& [label, count] : classes)
        script.push_back("expect labelcount " + std::to_string(label) + " == " + std::to_string(count));
    const auto result = runVelmoraScript("parvex-gmm-fcm", script, PLUGINS);
    EXPECT_EQ(result.exitCode, 0) << result.err << result.out;
}
