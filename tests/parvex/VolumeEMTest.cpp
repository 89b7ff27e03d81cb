// GMM segmentation: training from sampled strokes, the decision table against a plain
// evaluation of the trained mixtures for every 16-bit density, and the labelling of a
// volume and of one XY slice.

#include "data/CDensityData.h"
#include "data/COrthoSliceXY.h"
#include "plugins/parvex/seg/CVolumeEM.h"
#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"
#include "toolkit/math/CUniformPRNG.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using tEstimator = seg::CVolumeEM<seg::CVoxelNeighbourhoodSampler>;
using tSet = seg::CTrainingSet<seg::CVoxelValue>;
using tLabels = kvo::img::CVolume<std::uint16_t>;

tSet setOf(const std::vector<double>& values)
{
    tSet set;
    for (double v : values)
        set.add(seg::CVoxelValue(v));
    return set;
}

// `count` values around `centre`, spread evenly over +- `spread`.
std::vector<double> around(double centre, double spread, int count)
{
    std::vector<double> values;
    for (int i = 0; i < count; ++i)
        values.push_back(std::round(centre + spread * (2.0 * i / std::max(1, count - 1) - 1.0)));
    return values;
}

// Densities 0 .. 199 repeating along x, y and z mixed in.
data::CDensityData ramp(int x, int y, int z)
{
    data::CDensityData volume(x, y, z, 1);
    volume.fillMargin(-32768);
    for (int k = 0; k < z; ++k)
        for (int j = 0; j < y; ++j)
            for (int i = 0; i < x; ++i)
                volume.at(i, j, k) = static_cast<std::int16_t>((i * 7 + j * 3 + k * 11) % 200);
    return volume;
}

data::COrthoSliceXY sliceAt(int z, int x, int y, bool suppressed = false)
{
    data::COrthoSliceXY slice;
    slice.setPosition(z);
    slice.setSize(x, y);
    slice.setSliceOperationSuppressed(suppressed);
    return slice;
}

// The mixture density of a trained model, evaluated term by term.
double mixture(tEstimator::tModel& model, double v)
{
    double sum = 0.0;
    for (const auto& c : model.getComponents())
    {
        const double variance = std::max(c.variance, 0.001);
        const double normaliser = 1.0 / (std::sqrt(variance) * 2.506628274631001);
        sum += c.weight * (normaliser * std::exp(-0.5 * (v - c.mean) * (v - c.mean) * (1.0 / variance)));
    }
    return sum;
}

} // namespace

TEST(VolumeEM, DecisionTableEqualsPlainEvaluationOfTheMixtures)
{
    struct CCase
    {
        const char* name;
        std::vector<double> positive, negative;
    };
    std::vector<double> bone = around(1200, 30, 40);
    std::vector<double> soft = around(40, 20, 30);
    for (double v : around(-1000, 5, 9))
        soft.push_back(v);
    const CCase cases[] = {{"both", bone, soft},
                           {"positive only", bone, {}},
                           {"negative only", {}, soft},
                           {"overlapping", around(100, 50, 25), around(0, 50, 25)},
                           {"single values", {300.0}, {-200.0}},
                           {"extremes", {-32768.0, 32767.0}, {0.0}}};
    for (const CCase& test : cases)
    {
        tEstimator estimator;
        ASSERT_TRUE(estimator.train(setOf(test.positive), setOf(test.negative)));
        EXPECT_EQ(estimator.isPositiveTrained(), !test.positive.empty()) << test.name;
        EXPECT_EQ(estimator.isNegativeTrained(), !test.negative.empty()) << test.name;
        estimator.buildTable();
        ASSERT_EQ(estimator.getTable().size(), 65536u);
        std::vector<double> positive(65536), negative(65536);
        double positiveScale = 0.0, negativeScale = 0.0;
        for (int v = -32768; v <= 32767; ++v)
        {
            const std::size_t i = std::size_t(v + 32768);
            if (!test.positive.empty())
                positiveScale = std::max(positiveScale, positive[i] = mixture(estimator.getPositiveModel(), v));
            if (!test.negative.empty())
                negativeScale = std::max(negativeScale, negative[i] = mixture(estimator.getNegativeModel(), v));
        }
        EXPECT_EQ(estimator.getPositiveScale(), positiveScale) << test.name;
        EXPECT_EQ(estimator.getNegativeScale(), negativeScale) << test.name;
        int ones = 0;
        for (int v = -32768; v <= 32767; ++v)
        {
            const std::size_t i = std::size_t(v + 32768);
            int expected = 0;
            if (!test.positive.empty() && !test.negative.empty())
                expected = positive[i] / positiveScale >= negative[i] / negativeScale;
            else if (!test.positive.empty())
                expected = positive[i] / positiveScale >= 0.05;
            else if (!test.negative.empty())
                expected = negative[i] / negativeScale < 0.05;
            ASSERT_EQ(estimator.getLabel(std::int16_t(v)), expected) << test.name << " at " << v;
            ones += expected;
        }
        EXPECT_GT(ones, 0) << test.name;
        EXPECT_LT(ones, 65536) << test.name;
    }
}

TEST(VolumeEM, LabelOneMarksDensitiesLikeThePositiveSamplesWithOneOrTwoModels)
{
    const std::vector<double> positive = around(100, 8, 21);
    const std::vector<double> negative = around(0, 8, 21);
    // (positive samples?, negative samples?)
    for (const auto& [withPositive, withNegative] : {std::pair{true, true}, {true, false}, {false, true}})
    {
        tEstimator estimator;
        estimator.train(setOf(withPositive ? positive : std::vector<double>{}),
                        setOf(withNegative ? negative : std::vector<double>{}));
        estimator.buildTable();
        if (withPositive)
        {
            EXPECT_EQ(estimator.getLabel(100), 1);
            EXPECT_EQ(estimator.getLabel(95), 1);
        }
        if (withNegative)
        {
            EXPECT_EQ(estimator.getLabel(0), 0);
            EXPECT_EQ(estimator.getLabel(-5), 0);
        }
        if (withPositive != withNegative)
        {
            // One model: far from its samples is "not like the positive samples" only
            // when those were the positive ones.
            for (int far : {-1000, 500, 3000})
                EXPECT_EQ(estimator.getLabel(std::int16_t(far)), withPositive ? 0 : 1) << far;
            EXPECT_EQ(estimator.getLabel(withPositive ? 0 : 100), withPositive ? 0 : 1);
        }
    }
}

TEST(VolumeEM, NoSamplesWriteZeroEverywhere)
{
    const data::CDensityData density = ramp(7, 6, 5);
    tLabels labels(7, 6, 5);
    labels.fill(5);
    tEstimator estimator;
    ASSERT_TRUE(estimator.train(tSet(), tSet()));
    EXPECT_EQ(estimator.segmentSlice(density, labels, sliceAt(2, 7, 6)), 7 * 6);
    labels.forEach([](const std::uint16_t& label) { ASSERT_TRUE(label == 0 || label == 5); });
    ASSERT_TRUE(estimator.segment(density, labels, 0));
    labels.forEach([](const std::uint16_t& label) { ASSERT_EQ(label, 0); });
}

TEST(VolumeEM, VolumeAndSliceLabelsComeFromTheTable)
{
    const data::CDensityData density = ramp(9, 8, 6);
    seg::CVoxelNeighbourhoodSampler positive, negative;
    // Strokes over voxels of the ramp: the samples follow the densities there.
    for (float x : {1.f, 2.f, 3.f})
        positive.addSamples(osg::Vec3f(x, 2.f, 2.f), density);
    for (float x : {5.f, 6.f, 7.f})
        negative.addSamples(osg::Vec3f(x, 5.f, 3.f), density);
    ASSERT_EQ(positive.getTrainingSet().getSize(), 21u);
    tEstimator estimator;
    estimator.train(positive.getTrainingSet(), negative.getTrainingSet());
    estimator.buildTable();
    std::vector<std::uint16_t> table;
    for (int v = -32768; v <= 32767; ++v)
        table.push_back(estimator.getLabel(std::int16_t(v)));

    // Whole volume, region volumes of several sizes: the shared block is labelled.
    for (const auto& [x, y, z] : std::vector<std::array<int, 3>>{{9, 8, 6}, {5, 8, 6}, {12, 10, 7}, {9, 3, 2}})
    {
        tLabels labels(x, y, z, 1);
        labels.fillEntire(9);
        ASSERT_TRUE(estimator.segment(density, labels, 0));
        for (int k = -1; k <= z; ++k)
            for (int j = -1; j <= y; ++j)
                for (int i = -1; i <= x; ++i)
                {
                    const bool inside = i >= 0 && j >= 0 && k >= 0 && i < std::min(x, 9) && j < std::min(y, 8) &&
                                        k < std::min(z, 6);
                    const int expected = inside ? table[std::size_t(density.at(i, j, k) + 32768)] : 9;
                    ASSERT_EQ(labels.at(i, j, k), expected) << i << " " << j << " " << k;
                }
    }

    // One slice: (slice position, slice extent x, y, suppressed)
    struct CCase
    {
        int z, x, y;
        bool suppressed;
    };
    const CCase cases[] = {{3, 9, 8, false}, {0, 4, 3, false}, {5, 20, 20, false}, {2, 9, 8, true},
                           {6, 9, 8, false}, {-1, 9, 8, false}, {4, 0, 8, false}};
    for (const CCase& test : cases)
    {
        tLabels labels(9, 8, 6);
        labels.fill(9);
        const std::int64_t changed = estimator.segmentSlice(density, labels, sliceAt(test.z, test.x, test.y, test.suppressed));
        std::int64_t expectedChanged = 0;
        for (int k = 0; k < 6; ++k)
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 9; ++i)
                {
                    const bool written = !test.suppressed && k == test.z && i < test.x && j < test.y;
                    const int expected = written ? table[std::size_t(density.at(i, j, k) + 32768)] : 9;
                    ASSERT_EQ(labels.at(i, j, k), expected) << test.z << ": " << i << " " << j << " " << k;
                    expectedChanged += written;
                }
        EXPECT_EQ(changed, expectedChanged) << test.z;
        // Again on the same samples: the same labels, nothing changes.
        EXPECT_EQ(estimator.segmentSlice(density, labels, sliceAt(test.z, test.x, test.y, test.suppressed)), 0);
    }
}

TEST(VolumeEM, SameSamplesSameModelsAndTable)
{
    kvo::math::CUniformPRNG random(5);
    std::vector<double> positive, negative;
    for (int i = 0; i < 700; ++i)
    {
        positive.push_back(std::round(1100 + random.random() * 200));
        negative.push_back(std::round((i % 2 ? -1000 : 20) + random.random() * 60));
    }
    tEstimator first, second;
    first.train(setOf(positive), setOf(negative));
    second.train(setOf(positive), setOf(negative));
    first.buildTable();
    second.buildTable();
    EXPECT_EQ(first.getTable(), second.getTable());
    for (std::size_t k = 0; k < 4; ++k)
    {
        EXPECT_EQ(first.getPositiveModel().getComponents()[k].mean, second.getPositiveModel().getComponents()[k].mean);
        EXPECT_EQ(first.getNegativeModel().getComponents()[k].variance,
                  second.getNegativeModel().getComponents()[k].variance);
    }
    EXPECT_EQ(first.getLabel(1200), 1);
    EXPECT_EQ(first.getLabel(-1000), 0);
    EXPECT_EQ(first.getLabel(40), 0);
}
