// Figures computed independently of the C++ code by fcm_reference.py (beside this file):
// the generators' first values from seed 1537 and one whole Fuzzy C-Means run on a fixed
// histogram, compared to a relative 1e-9.

#include "plugins/parvex/seg/CASVolumeFCM.h"
#include "toolkit/math/CNormalPRNG.h"
#include "toolkit/math/CUniformPRNG.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

namespace {

void expectClose(double actual, double expected, const char* what)
{
    EXPECT_LE(std::fabs(actual - expected), 1e-9 * std::fabs(expected)) << what << ": " << actual << " vs "
                                                                         << expected;
}

} // namespace

TEST(FcmExactness, GeneratorsFromSeed1537)
{
    kvo::math::CUniformPRNG uniform(1537);
    for (double expected : {0.6833478909373972, 0.5410016447030946, 0.011683544615136248, 0.41613241351029484,
                            0.3492652202720126})
        expectClose(uniform.random(), expected, "uniform");
    kvo::math::CNormalPRNG normal(1537);
    for (double expected : {-0.38516655116582577, 0.9997779182157389, 0.7137862791837133})
        expectClose(normal.random(0.0, 1.0), expected, "normal");
}

TEST(FcmExactness, ThreeClustersOfAFixedHistogram)
{
    const std::map<int, int> histogram = {{-1000, 3}, {-990, 5}, {-985, 2}, {0, 4},   {10, 6},
                                          {40, 3},    {300, 1},  {1200, 5}, {1210, 2}, {1500, 3}};
    int voxels = 0;
    for (const auto& [density, count] : histogram)
        voxels += count;
    // One row of voxels, the densities in a shuffled order (the histogram does not care).
    kvo::img::CVolume<std::int16_t> density(voxels, 1, 1, 2);
    kvo::img::CVolume<std::uint16_t> regions(voxels, 1, 1);
    std::vector<std::int16_t> values;
    for (const auto& [value, count] : histogram)
        for (int i = 0; i < count; ++i)
            values.push_back(static_cast<std::int16_t>(value));
    for (int x = 0; x < voxels; ++x)
        density.at(x, 0, 0) = values[std::size_t((x * 7) % voxels)];
    density.fillMargin(5000); // margins are not part of the volume

    seg::CASVolumeFCM fcm(3, 1.5);
    ASSERT_TRUE(fcm.run(density, regions));
    EXPECT_EQ(fcm.getClusterCount(), 3);
    EXPECT_EQ(fcm.getIterations(), 5);
    EXPECT_EQ(fcm.getHistogram()[5000 + 1500], 0);
    const double centres[] = {1291.9245328806037, -991.9900205555683, 34.09188952677953};
    for (int i = 0; i < 3; ++i)
        expectClose(fcm.getCentres()[i], centres[i], "centre");

    struct CColumn
    {
        int density;
        double memberships[3];
    };
    const CColumn columns[] = {
        {-1500, {0.0010819642418367545, 0.9870488176108819, 0.011869218147281329}},
        {-1000, {1.4918472268192322e-10, 0.9999999962509265, 3.5998887277128096e-09}},
        {-985, {8.882173754991263e-11, 0.9999999976977756, 2.2134026699340525e-09}},
        {0, {4.849030236320853e-07, 1.395000170729828e-06, 0.9999981200968056}},
        {40, {4.960001740592582e-10, 1.0742180322989466e-09, 0.9999999984297818}},
        {300, {0.005128616222234175, 0.0017818785163223655, 0.9930895052614435}},
        {700, {0.6100164748560031, 0.009137254800510437, 0.38084627034348645}},
        {1200, {0.9999582660159448, 3.0928104990246943e-06, 3.864117355601143e-05}},
        {1500, {0.9995456645477611, 4.85848602258947e-05, 0.0004057505920132253}},
        {7000, {0.5844243514701228, 0.15207835185889707, 0.26349729667098015}}};
    for (const CColumn& column : columns)
        for (int i = 0; i < 3; ++i)
            expectClose(fcm.getMemberships()(i, column.density + 1500), column.memberships[i], "membership");
    expectClose(fcm.partitionCriterion(), 0.608828212695192, "criterion");

    const std::map<int, int> labels = {{-1000, 2}, {-990, 2}, {-985, 2}, {0, 3},    {10, 3},
                                       {40, 3},    {300, 3},  {1200, 1}, {1210, 1}, {1500, 1}};
    for (int x = 0; x < voxels; ++x)
        EXPECT_EQ(regions.at(x, 0, 0), labels.at(density.at(x, 0, 0))) << x;
}
