// The neighbourhood sampler: order and count of the samples, truncation of coordinates,
// and voxels outside the density volume, which are skipped and never read.

#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Density 1000 * z + 100 * y + x (+ margin voxels of -1, which must never appear).
data::CDensityData codedVolume(int x, int y, int z)
{
    data::CDensityData volume(x, y, z, 1);
    volume.fillEntire(-1);
    for (int k = 0; k < z; ++k)
        for (int j = 0; j < y; ++j)
            for (int i = 0; i < x; ++i)
                volume.at(i, j, k) = static_cast<std::int16_t>(1000 * k + 100 * j + i);
    return volume;
}

std::vector<double> values(const seg::CVoxelNeighbourhoodSampler& sampler)
{
    std::vector<double> result;
    for (const seg::CVoxelValue& sample : sampler.getTrainingSet().getSamples())
        result.push_back(sample.value);
    return result;
}

} // namespace

TEST(SamplerTest, SevenSamplesPerInnerPointInNeighbourOrder)
{
    const data::CDensityData volume = codedVolume(6, 5, 4);
    seg::CVoxelNeighbourhoodSampler sampler;
    // Coordinates are truncated, not rounded: (2.9, 2.2, 1.7) is voxel (2, 2, 1).
    sampler.addSamples(osg::Vec3f(2.9f, 2.2f, 1.7f), volume);
    EXPECT_EQ(values(sampler), (std::vector<double>{1202, 1203, 1201, 1302, 1102, 2202, 202}));

    // A stroke of three inner points adds 21 values, the first the point itself; marking
    // the same point again adds its seven values again.
    sampler.getTrainingSet().clear();
    for (const osg::Vec3f& point : {osg::Vec3f(1, 1, 1), osg::Vec3f(2, 3, 2), osg::Vec3f(1, 1, 1)})
        sampler.addSamples(point, volume);
    const std::vector<double> stroke = values(sampler);
    ASSERT_EQ(stroke.size(), 21u);
    EXPECT_EQ(stroke[0], 1101);
    EXPECT_EQ(stroke[7], 2302);
    EXPECT_EQ(std::vector<double>(stroke.begin(), stroke.begin() + 7),
              std::vector<double>(stroke.begin() + 14, stroke.end()));

    seg::CVoxelValue one;
    EXPECT_TRUE(sampler.sample(one, osg::Vec3f(5.99f, 4.5f, 3.0f), volume));
    EXPECT_EQ(one.value, 3405);
    // A negative density keeps its sign.
    data::CDensityData negative(1, 1, 1);
    negative.at(0, 0, 0) = -1024;
    EXPECT_TRUE(sampler.sample(one, osg::Vec3f(0, 0, 0), negative));
    EXPECT_EQ(one.value, -1024);
}

TEST(SamplerTest, VoxelsOutsideTheVolumeAreSkipped)
{
    const data::CDensityData volume = codedVolume(6, 5, 4);
    seg::CVoxelNeighbourhoodSampler sampler;

    // On a face: the neighbour beyond it is skipped.
    sampler.addSamples(osg::Vec3f(0, 2, 2), volume);
    EXPECT_EQ(values(sampler), (std::vector<double>{2200, 2201, 2300, 2100, 3200, 1200}));
    // In the far corner: three neighbours are beyond the volume.
    sampler.getTrainingSet().clear();
    sampler.addSamples(osg::Vec3f(5, 4, 3), volume);
    EXPECT_EQ(values(sampler), (std::vector<double>{3405, 3404, 3305, 2405}));
    // x - 1 of 0.3 truncates to voxel 0 again, which lies inside.
    sampler.getTrainingSet().clear();
    sampler.addSamples(osg::Vec3f(0.3f, 2, 2), volume);
    EXPECT_EQ(values(sampler).size(), 7u);

    // Far outside, at huge coordinates or not a number: nothing is added or read.
    sampler.getTrainingSet().clear();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const osg::Vec3f& point : {osg::Vec3f(-5, 2, 2), osg::Vec3f(2, 2, 4), osg::Vec3f(1e30f, 2, 2),
                                    osg::Vec3f(-1e30f, 2, 2), osg::Vec3f(nan, 2, 2), osg::Vec3f(2, nan, 2)})
        sampler.addSamples(point, volume);
    for (double value : values(sampler))
        EXPECT_NE(value, -1) << "a margin voxel was read";
    // Just beyond the last slice only the neighbour back inside is sampled.
    EXPECT_EQ(values(sampler), (std::vector<double>{3202}));
    seg::CVoxelValue untouched(42);
    EXPECT_FALSE(sampler.sample(untouched, osg::Vec3f(6, 0, 0), volume));
    EXPECT_FALSE(sampler.sample(untouched, osg::Vec3f(-1, 0, 0), volume));
    EXPECT_EQ(untouched.value, 42);

    const data::CDensityData empty;
    sampler.addSamples(osg::Vec3f(0, 0, 0), empty);
    EXPECT_EQ(values(sampler).size(), 1u);
}
