#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "tests/mesh/RefinementMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using tReports = std::vector<std::pair<int, int>>;

// Records every report; answers stop at report number `stopAt` (1-based; 0: never).
kvo::mod::CProgress::tProgressCallback recorder(tReports& reports, int stopAt = 0)
{
    return kvo::mod::CProgress::tProgressCallback([&reports, stopAt](int current, int total) {
        reports.emplace_back(current, total);
        return static_cast<int>(reports.size()) != stopAt;
    });
}

// One step of the literal description: new = p + factor × mean(q - p) over the corners that
// follow p in its triangles.
void referenceStep(vctl::MCTriS& mesh, double factor)
{
    std::vector<std::array<double, 3>> next;
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        std::array<double, 3> p{v->getX(), v->getY(), v->getZ()}, sum{0, 0, 0};
        const auto around = vctl::triangles(v);
        for (const vctl::MCTri* t : around)
        {
            const vctl::MCVertex* q = t->getFollowing(t->getCornerIndex(v));
            sum[0] += q->getX() - p[0];
            sum[1] += q->getY() - p[1];
            sum[2] += q->getZ() - p[2];
        }
        if (!around.empty())
            for (int c = 0; c < 3; ++c)
                p[c] += factor * sum[c] / static_cast<double>(around.size());
        next.push_back(p);
    }
    std::size_t i = 0;
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext(), ++i)
        v->setXYZ(next[i][0], next[i][1], next[i][2]);
}

} // namespace

TEST(MeshSmoothing, MatchesTheLiteralStepsAndKeepsTheSurface)
{
    EXPECT_NEAR(CMeshSmoothing::mu(0.6073, 0.1), -0.6465659501527782, 1e-15);
    for (unsigned seed = 1; seed <= 10; ++seed)
    {
        for (const auto& [iterations, lambda, k] : {std::tuple{5L, 0.6073, 0.1}, std::tuple{2L, 0.33, 0.05}})
        {
            auto mesh = refinetest::randomSurface(seed);
            auto reference = refinetest::randomSurface(seed);
            const std::multiset<int> euler = refinetest::eulerByPiece(*mesh);
            const int triangles = mesh->getNumOfTris(), vertices = mesh->getNumOfVertices();
            CMeshSmoothing smoothing;
            tReports reports;
            smoothing.setProgressCallback(recorder(reports));
            ASSERT_TRUE(smoothing.smooth(*mesh, iterations, lambda, k));
            for (long i = 0; i < iterations; ++i)
            {
                referenceStep(*reference, lambda);
                referenceStep(*reference, CMeshSmoothing::mu(lambda, k));
            }
            const auto got = refinetest::stateOf(*mesh), expected = refinetest::stateOf(*reference);
            EXPECT_EQ(got.triangles, expected.triangles);
            ASSERT_EQ(got.positions.size(), expected.positions.size());
            for (std::size_t v = 0; v < got.positions.size(); ++v)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(got.positions[v][c], expected.positions[v][c], 1e-12);
            EXPECT_EQ(mesh->getNumOfTris(), triangles);
            EXPECT_EQ(mesh->getNumOfVertices(), vertices);
            EXPECT_EQ(refinetest::surfaceFault(*mesh), "") << "seed " << seed;
            EXPECT_EQ(refinetest::eulerByPiece(*mesh), euler);
            tReports expectedReports;
            for (int r = 1; r <= 2 * iterations; ++r)
                expectedReports.emplace_back(r, 2 * iterations);
            EXPECT_EQ(reports, expectedReports);
        }
    }
}

TEST(MeshSmoothing, NoIterationsChangeNothing)
{
    for (long iterations : {0L, -3L})
    {
        auto mesh = refinetest::randomSurface(3);
        const auto before = refinetest::stateOf(*mesh);
        CMeshSmoothing smoothing;
        tReports reports;
        smoothing.setProgressCallback(recorder(reports));
        EXPECT_TRUE(smoothing.smooth(*mesh, iterations, 0.6073, 0.1));
        EXPECT_EQ(refinetest::stateOf(*mesh), before);
        EXPECT_TRUE(reports.empty());
    }
}

TEST(MeshSmoothing, FlatPatchStaysInItsPlane)
{
    // Vertices of the top face far enough from its border that the creases' moves cannot
    // reach them in one iteration (two steps) keep z exactly, moving only within the plane.
    // The top face's inner grid is jittered within its plane, so that smoothing moves it.
    const int n = 10;
    auto cube = refinetest::gridCube(n);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> jitter(-0.2, 0.2);
    std::vector<const vctl::MCVertex*> inner;
    for (vctl::MCVertex* v = cube->getVertices().getFirst(); v; v = v->getNext())
    {
        if (v->getZ() != n || v->getX() < 1 || v->getX() > n - 1 || v->getY() < 1 || v->getY() > n - 1)
            continue;
        const bool far = v->getX() >= 3 && v->getX() <= n - 3 && v->getY() >= 3 && v->getY() <= n - 3;
        v->setXYZ(v->getX() + jitter(random), v->getY() + jitter(random), n);
        if (far)
            inner.push_back(v);
    }
    ASSERT_EQ(inner.size(), 25u);
    std::vector<std::array<double, 2>> before;
    for (const vctl::MCVertex* v : inner)
        before.push_back({v->getX(), v->getY()});
    EXPECT_TRUE(CMeshSmoothing().smooth(*cube, 1, 0.6073, 0.1));
    int moved = 0;
    for (std::size_t i = 0; i < inner.size(); ++i)
    {
        EXPECT_NEAR(inner[i]->getZ(), n, 1e-12);
        moved += std::hypot(inner[i]->getX() - before[i][0], inner[i]->getY() - before[i][1]) > 1e-3;
    }
    EXPECT_GT(moved, 20);
}

TEST(MeshSmoothing, UnusableParametersFallBackToTheDefaults)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct CCase
    {
        double lambda, k, usedLambda, usedK;
    };
    const CCase cases[] = {
        {inf, 0.1, 0.6073, 0.1}, {nan, 0.2, 0.6073, 0.2}, {0.5, -inf, 0.5, 0.1},
        {0.5, 2.0, 0.6073, 0.1}, // k = 1 / lambda: mu infinite
        {0.4, 0.3, 0.4, 0.3},
    };
    for (const CCase& c : cases)
    {
        const auto [lambda, k] = CMeshSmoothing::usableParameters(c.lambda, c.k);
        EXPECT_EQ(lambda, c.usedLambda);
        EXPECT_EQ(k, c.usedK);
        auto mesh = refinetest::randomSurface(5);
        auto reference = refinetest::randomSurface(5);
        EXPECT_TRUE(CMeshSmoothing().smooth(*mesh, 2, c.lambda, c.k));
        EXPECT_TRUE(CMeshSmoothing().smooth(*reference, 2, c.usedLambda, c.usedK));
        EXPECT_EQ(refinetest::stateOf(*mesh), refinetest::stateOf(*reference));
        for (const vctl::MCVertex* v = mesh->getVertices().getFirst(); v; v = v->getNext())
            ASSERT_TRUE(std::isfinite(v->getX()) && std::isfinite(v->getY()) && std::isfinite(v->getZ()));
    }
    // Finite factors whose steps overflow fail and leave the positions as they were.
    auto mesh = refinetest::randomSurface(6);
    const auto before = refinetest::stateOf(*mesh);
    EXPECT_FALSE(CMeshSmoothing().smooth(*mesh, 40, 1e300, 0.1));
    EXPECT_EQ(refinetest::stateOf(*mesh), before);
}

TEST(MeshSmoothing, StopAtAnyStepLeavesTheMeshAsItWas)
{
    for (int stopAt = 1; stopAt <= 6; ++stopAt)
    {
        auto mesh = refinetest::randomSurface(7);
        const auto before = refinetest::stateOf(*mesh);
        CMeshSmoothing smoothing;
        tReports reports;
        smoothing.setProgressCallback(recorder(reports, stopAt));
        EXPECT_FALSE(smoothing.smooth(*mesh, 3, 0.6073, 0.1));
        EXPECT_EQ(static_cast<int>(reports.size()), stopAt);
        EXPECT_EQ(refinetest::stateOf(*mesh), before);
    }
}

TEST(MeshSmoothing, VertexWithoutTrianglesStays)
{
    auto mesh = refinetest::randomSurface(2);
    vctl::MCVertex* lone = mesh->getVertices().addVertex(100, 200, 300);
    EXPECT_TRUE(CMeshSmoothing().smooth(*mesh, 3, 0.6073, 0.1));
    EXPECT_EQ(lone->getX(), 100);
    EXPECT_EQ(lone->getY(), 200);
    EXPECT_EQ(lone->getZ(), 300);
}
