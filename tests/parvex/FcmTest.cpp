// Fuzzy C-Means segmentation: the histogram and the clustering against plain
// transcriptions (every bin in every iteration) on random volumes, the labelling and the
// automatic choice of the cluster count on one and two populations, and densities outside
// the histogram.

#include "plugins/parvex/seg/CASVolumeFCM.h"
#include "toolkit/math/CUniformPRNG.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

namespace {

using seg::CASVolumeFCM;
using tDensity = kvo::img::CVolume<std::int16_t>;
using tLabels = kvo::img::CVolume<std::uint16_t>;

constexpr int B = CASVolumeFCM::BINS;

// A volume of populations (centre, spread) in equal shares, densities drawn at random.
tDensity populations(const std::vector<std::pair<int, int>>& groups, int x, int y, int z, std::uint32_t seed,
                     int margin = 0)
{
    tDensity volume(x, y, z, margin);
    volume.fillMargin(-32768);
    kvo::math::CUniformPRNG random(seed);
    int i = 0;
    volume.forEach([&](std::int16_t& v) {
        const auto& [centre, spread] = groups[std::size_t(i++) % groups.size()];
        v = static_cast<std::int16_t>(centre + std::lround((random.random() - 0.5) * 2.0 * spread));
    });
    return volume;
}

// The clustering written out literally over all bins.
struct CReferenceFcm
{
    std::vector<double> centres;
    std::vector<std::vector<double>> U;
    int iterations = 0;

    CReferenceFcm(const std::vector<int>& h, int c, double m, kvo::math::CUniformPRNG& generator)
        : centres(std::size_t(c)), U(std::size_t(c), std::vector<double>(B, 0.0))
    {
        const double e = 2.0 / (m - 1.0);
        for (int b = 0; b < B; ++b)
            U[std::size_t(int(generator.random() * (c - 1) + 0.5))][std::size_t(b)] = 1.0;
        double previous = 1.0;
        std::vector<std::vector<double>> W(static_cast<std::size_t>(c), std::vector<double>(B));
        while (iterations < 100)
        {
            ++iterations;
            for (int i = 0; i < c; ++i)
                for (int b = 0; b < B; ++b)
                    W[i][b] = std::pow(U[i][b], m);
            for (int i = 0; i < c; ++i)
            {
                double s = 0, t = 0;
                for (int b = 0; b < B; ++b)
                {
                    s += h[b] * W[i][b];
                    t += h[b] * W[i][b] * double(b - 1500);
                }
                centres[i] = s > 0 ? t / s : t;
            }
            for (int b = 0; b < B; ++b)
                for (int i = 0; i < c; ++i)
                {
                    double S = 0;
                    for (int j = 0; j < c; ++j)
                        S += std::pow(std::fabs(centres[i] - (b - 1500)) / std::fabs(centres[j] - (b - 1500)), e);
                    U[i][b] = S > 0 ? 1 / S : 1.0;
                }
            double J = 0;
            for (int i = 0; i < c; ++i)
                for (int b = 0; b < B; ++b)
                    J += h[b] * W[i][b] * ((centres[i] - (b - 1500)) * (centres[i] - (b - 1500)));
            if (std::fabs(J / previous - 1.0) < 1e-6 || J < 1e-6)
                break;
            previous = J;
        }
    }

    double criterion() const
    {
        const int c = int(centres.size());
        double sum = 0;
        for (int i = 0; i < c; ++i)
            for (int b = 0; b < B; ++b)
                sum += U[i][b] * U[i][b];
        return (sum / B - 1.0 / c) / (1.0 - 1.0 / c + 0.001);
    }

    int label(int density) const
    {
        const int b = std::min(std::max(density, -1500), 7000) + 1500;
        int best = 0;
        for (int i = 1; i < int(centres.size()); ++i)
            if (U[i][b] > U[best][b])
                best = i;
        return best + 1;
    }
};

std::vector<int> bruteHistogram(const tDensity& volume)
{
    std::vector<int> h(B, 0);
    for (int z = 0; z < volume.getZSize(); ++z)
        for (int y = 0; y < volume.getYSize(); ++y)
            for (int x = 0; x < volume.getXSize(); ++x)
            {
                const int v = volume.at(x, y, z);
                if (v >= -1500 && v <= 7000)
                    ++h[std::size_t(v + 1500)];
            }
    return h;
}

std::map<int, int> labelCounts(const tLabels& labels)
{
    std::map<int, int> counts;
    labels.forEach([&](const std::uint16_t& label) { ++counts[label]; });
    return counts;
}

} // namespace

TEST(FuzzyCMeans, FixedCountEqualsThePlainProcedureOnRandomVolumes)
{
    struct CCase
    {
        std::vector<std::pair<int, int>> groups;
        int clusters;
    };
    const std::vector<CCase> cases = {
        {{{-1000, 30}, {40, 20}, {1200, 0}}, 1},
        {{{-1000, 30}, {40, 20}, {1200, 0}}, 3},
        {{{-1000, 30}, {40, 20}, {1200, 0}, {3000, 100}}, 4},
        {{{-100, 20}, {40, 20}}, 5}, // more clusters than populations
        {{{500, 0}}, 2},             // one density: an empty cluster stays at 0
        {{{-3000, 0}, {0, 0}}, 3},   // a cluster on density 0, where empty clusters sit
        {{{-1400, 90}, {6900, 90}, {300, 300}}, 2}};
    std::uint32_t seed = 11;
    for (const CCase& test : cases)
    {
        const tDensity volume = populations(test.groups, 9, 7, 5, seed++, 1);
        const std::vector<int> h = bruteHistogram(volume);
        CASVolumeFCM fcm(test.clusters, 1.5);
        fcm.buildHistogram(volume);
        for (int b = 0; b < B; ++b)
            ASSERT_EQ(fcm.getHistogram()[b], h[std::size_t(b)]) << b;
        fcm.cluster(test.clusters);
        kvo::math::CUniformPRNG generator(1537);
        const CReferenceFcm reference(h, test.clusters, 1.5, generator);
        EXPECT_EQ(fcm.getIterations(), reference.iterations);
        for (int i = 0; i < test.clusters; ++i)
        {
            EXPECT_EQ(fcm.getCentres()[i], reference.centres[std::size_t(i)]) << i;
            for (int b = 0; b < B; ++b)
                ASSERT_EQ(fcm.getMemberships()(i, b), reference.U[std::size_t(i)][std::size_t(b)]) << i << " " << b;
        }
        EXPECT_EQ(fcm.partitionCriterion(), reference.criterion());

        // The run labels every voxel with the reference's cluster + 1.
        CASVolumeFCM run(test.clusters, 1.5);
        tLabels labels(9, 7, 5, 2);
        labels.fillEntire(999);
        ASSERT_TRUE(run.run(volume, labels));
        EXPECT_EQ(run.getClusterCount(), test.clusters);
        for (int z = 0; z < 5; ++z)
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 9; ++x)
                    ASSERT_EQ(labels.at(x, y, z), reference.label(volume.at(x, y, z))) << x << y << z;
        EXPECT_EQ(labels.at(-1, 0, 0), 999); // margins stay
    }
}

TEST(FuzzyCMeans, OneRegionLabelsEveryVoxelOne)
{
    const tDensity volume = populations({{-1000, 10}, {1200, 0}, {-5000, 0}, {20000, 0}}, 6, 5, 4, 3);
    tLabels labels(6, 5, 4);
    labels.fill(7);
    CASVolumeFCM fcm(1, 1.5);
    ASSERT_TRUE(fcm.run(volume, labels));
    EXPECT_EQ(labelCounts(labels), (std::map<int, int>{{1, 120}}));
    EXPECT_EQ(fcm.partitionCriterion(), 0.0);
}

TEST(FuzzyCMeans, TwoPopulationsGiveTwoLabelsTheSameEveryRun)
{
    const tDensity volume = populations({{-1000, 25}, {1500, 25}}, 10, 8, 6, 5);
    tLabels first(10, 8, 6);
    CASVolumeFCM fcm(2, 1.5);
    ASSERT_TRUE(fcm.run(volume, first));
    // Each population takes one label of its own.
    std::map<int, std::set<int>> labelsOf;
    for (int z = 0; z < 6; ++z)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x)
                labelsOf[volume.at(x, y, z) < 0].insert(first.at(x, y, z));
    ASSERT_EQ(labelsOf[1].size(), 1u);
    ASSERT_EQ(labelsOf[0].size(), 1u);
    EXPECT_NE(*labelsOf[0].begin(), *labelsOf[1].begin());
    EXPECT_EQ(labelCounts(first).size(), 2u);
    EXPECT_EQ(labelCounts(first).count(0), 0u);
    for (int run = 0; run < 3; ++run)
    {
        tLabels again(10, 8, 6);
        CASVolumeFCM other(2, 1.5);
        ASSERT_TRUE(other.run(volume, again));
        for (int z = 0; z < 6; ++z)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 10; ++x)
                    ASSERT_EQ(again.at(x, y, z), first.at(x, y, z));
    }
}

TEST(FuzzyCMeans, AutomaticSearchStopsAtTheFirstDropAndKeepsTheLastAcceptedLabels)
{
    struct CCase
    {
        const char* name;
        std::vector<std::pair<int, int>> groups;
    };
    const CCase cases[] = {{"one population", {{40, 20}}},
                           {"two populations", {{-1000, 20}, {1500, 20}}},
                           {"four populations", {{-1000, 10}, {-100, 10}, {40, 10}, {1200, 10}}}};
    for (const CCase& test : cases)
    {
        const tDensity volume = populations(test.groups, 12, 10, 8, 21);
        tLabels labels(12, 10, 8);
        labels.fill(500);
        CASVolumeFCM fcm(0, 1.5);
        ASSERT_TRUE(fcm.run(volume, labels));
        const int tried = fcm.getClusterCount();
        ASSERT_GE(tried, 2) << test.name;

        // Replay the search with the reference: criteria rise up to tried - 1 and drop at
        // tried (or exceed 1); the labels are those of tried - 1 clusters.
        const std::vector<int> h = bruteHistogram(volume);
        kvo::math::CUniformPRNG generator(1537);
        double previous = 0.0;
        std::vector<CReferenceFcm> accepted;
        for (int c = 1; c <= tried; ++c)
        {
            CReferenceFcm reference(h, c, 1.5, generator);
            const double q = reference.criterion();
            if (c == tried)
            {
                EXPECT_TRUE(q < previous || q > 1.0) << test.name << " stopped at " << c;
                break;
            }
            EXPECT_GE(q, previous) << test.name << " c " << c;
            EXPECT_LE(q, 1.0) << test.name << " c " << c;
            previous = q;
            accepted.push_back(reference);
        }
        ASSERT_FALSE(accepted.empty());
        std::set<int> used;
        for (int z = 0; z < 8; ++z)
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x)
                {
                    ASSERT_EQ(labels.at(x, y, z), accepted.back().label(volume.at(x, y, z))) << test.name;
                    used.insert(labels.at(x, y, z));
                }
        EXPECT_LE(int(used.size()), tried - 1) << test.name;
        EXPECT_EQ(used.count(0), 0u) << test.name;
        EXPECT_TRUE(test.groups.size() == 1 || tried >= 3) << test.name; // two clusters beat one
    }
}

TEST(FuzzyCMeans, AutomaticSearchEndsWhenClustersOutnumberPopulatedBins)
{
    // (densities of the volume, the count that stops the search)
    struct CCase
    {
        std::vector<std::pair<int, int>> groups;
        int stoppedAt;
    };
    const CCase cases[] = {{{{300, 0}}, 2},              // one density: count 1 is all there is
                           {{{-5000, 0}, {9000, 0}}, 2}, // nothing in the histogram at all
                           {{{-1000, 0}, {1200, 0}}, 3}};
    for (const CCase& test : cases)
    {
        const tDensity volume = populations(test.groups, 5, 4, 3, 8);
        tLabels labels(5, 4, 3);
        labels.fill(9);
        CASVolumeFCM fcm(0, 1.5);
        ASSERT_TRUE(fcm.run(volume, labels));
        EXPECT_EQ(fcm.getClusterCount(), test.stoppedAt);
        EXPECT_LE(fcm.getClusterCount(), std::max(1, fcm.getPopulatedBins()) + 1);
        const auto counts = labelCounts(labels);
        EXPECT_EQ(counts.count(0), 0u);
        EXPECT_EQ(counts.count(9), 0u);
        EXPECT_LE(int(counts.size()), test.stoppedAt - 1);
    }
}

TEST(FuzzyCMeans, DensitiesOutsideTheHistogramTakeTheNearestEndsLabel)
{
    const tDensity volume = populations({{-1000, 5}, {3000, 5}, {-32768, 0}, {32767, 0}, {-1501, 0}, {7001, 0}},
                                        6, 6, 6, 4);
    for (int clusters : {2, 3, 0})
    {
        tLabels labels(6, 6, 6);
        CASVolumeFCM fcm(clusters, 1.5);
        ASSERT_TRUE(fcm.run(volume, labels));
        const std::vector<std::uint16_t> table = fcm.labelTable();
        EXPECT_EQ(fcm.getHistogram()[0] + fcm.getHistogram()[B - 1], 0);
        for (int z = 0; z < 6; ++z)
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 6; ++x)
                {
                    const int v = volume.at(x, y, z);
                    if (clusters != 0 && v < -1500)
                    {
                        ASSERT_EQ(labels.at(x, y, z), table.front() + 1);
                    }
                    if (clusters != 0 && v > 7000)
                    {
                        ASSERT_EQ(labels.at(x, y, z), table.back() + 1);
                    }
                    ASSERT_GE(labels.at(x, y, z), 1);
                }
    }
}

TEST(FuzzyCMeans, LabelsOnlyTheBlockBothVolumesShare)
{
    const tDensity volume = populations({{-1000, 5}, {1200, 5}}, 6, 5, 4, 2);
    for (const auto& [x, y, z] : std::vector<std::array<int, 3>>{{4, 5, 4}, {8, 7, 6}, {6, 2, 4}})
    {
        tLabels labels(x, y, z);
        labels.fill(77);
        CASVolumeFCM fcm(2, 1.5);
        ASSERT_TRUE(fcm.run(volume, labels));
        for (int k = 0; k < z; ++k)
            for (int j = 0; j < y; ++j)
                for (int i = 0; i < x; ++i)
                {
                    const bool shared = i < 6 && j < 5 && k < 4;
                    ASSERT_EQ(labels.at(i, j, k) == 77, !shared) << i << " " << j << " " << k;
                }
    }
}
