#include "plugins/ostrum/mesh/CCostQueue.h"
#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "plugins/ostrum/mesh/MeshGeometry.h"
#include "tests/mesh/RefinementMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <random>
#include <set>

namespace {

// A closed tetrahedron, outward.
void addTetrahedron(vctl::MCTriS& mesh, double x)
{
    auto* a = mesh.getVertices().addVertex(x, 0, 0);
    auto* b = mesh.getVertices().addVertex(x + 1, 0, 0);
    auto* c = mesh.getVertices().addVertex(x, 1, 0);
    auto* d = mesh.getVertices().addVertex(x, 0, 1);
    mesh.addTri(a, c, b);
    mesh.addTri(a, b, d);
    mesh.addTri(a, d, c);
    mesh.addTri(b, c, d);
}

// The collapse cost computed the plain way, from the triangle lists; the penalty terms draw
// from std::rand like the decimation's.
double referenceCost(const vctl::MCEdge* e, int& mode)
{
    using namespace meshgeometry;
    const vctl::MCVertex* p = e->getVertex(0);
    const vctl::MCVertex* q = e->getVertex(1);
    std::vector<vctl::MCTri*> onlyP, onlyQ, shared;
    for (vctl::MCTri* t : vctl::triangles(p))
        (t->contains(q) ? shared : onlyP).push_back(t);
    for (vctl::MCTri* t : vctl::triangles(q))
        if (!t->contains(p))
            onlyQ.push_back(t);
    std::set<const vctl::MCVertex*> aroundP;
    for (const vctl::MCTri* t : onlyP)
        for (int c = 0; c < 3; ++c)
            aroundP.insert(t->getVertex(c));
    for (const vctl::MCTri* t : shared)
        for (int c = 0; c < 3; ++c)
            aroundP.erase(t->getVertex(c));
    bool sharedNeighbour = false;
    for (const vctl::MCTri* t : onlyQ)
        for (int c = 0; c < 3; ++c)
            sharedNeighbour = sharedNeighbour || aroundP.count(t->getVertex(c)) > 0;
    const auto jitter = [] { return 100.0 * static_cast<double>(std::rand() & 0x7FFF) / 32768.0; };
    if (shared.size() != 2 || sharedNeighbour)
    {
        mode = CMeshDecimation::MODE_FORBIDDEN;
        return CMeshDecimation::FORBIDDEN_COST + jitter();
    }
    const auto move = [&](const vctl::MCVertex* target) {
        double sum = 0.0;
        for (const auto& [moved, around] : {std::pair{p, &onlyP}, std::pair{q, &onlyQ}})
        {
            if (moved->getX() == target->getX() && moved->getY() == target->getY() && moved->getZ() == target->getZ())
                continue;
            for (const vctl::MCTri* t : *around)
            {
                const int corner = t->getCornerIndex(moved);
                const CVector a = position(t->getFollowing(corner)), b = position(t->getPreceding(corner));
                const CVector after = normalised(cross(b - a, position(target) - a));
                sum += std::fabs(dot(after, position(target) - position(moved))) * 0.1666666667;
                if (dot(after, unitNormal(t)) < 0.7)
                    return CMeshDecimation::TURN_PENALTY + sum + jitter();
            }
        }
        return sum;
    };
    const double atP = move(p);
    const double atQ = move(q);
    mode = atQ > atP ? CMeshDecimation::MODE_AT_FIRST : CMeshDecimation::MODE_AT_SECOND;
    return atQ > atP ? atP + q->getValue() : atQ + p->getValue();
}

bool isSubset(const std::multiset<int>& part, const std::multiset<int>& whole)
{
    return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

} // namespace

TEST(MeshDecimation, TargetAtOrAboveTheCountReturnsAtOnce)
{
    auto mesh = refinetest::randomSurface(4);
    const auto before = refinetest::stateOf(*mesh);
    for (long target : {long(mesh->getNumOfTris()), long(mesh->getNumOfTris()) + 1, 100000L})
    {
        CMeshDecimation decimation;
        int reports = 0;
        decimation.setProgressCallback(kvo::mod::CProgress::tProgressCallback([&](int, int) { return ++reports, true; }));
        EXPECT_TRUE(decimation.decimate(*mesh, target));
        EXPECT_EQ(reports, 0);
        EXPECT_EQ(refinetest::stateOf(*mesh), before);
        EXPECT_EQ(mesh->getEdges().getCount(), 0);
    }
}

TEST(MeshDecimation, TargetsReachedOnRandomSurfacesKeepTopologyAndOrientation)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
    {
        auto probe = refinetest::randomSurface(seed, 16, 3, 5);
        const int count = probe->getNumOfTris();
        const std::multiset<int> euler = refinetest::eulerByPiece(*probe);
        for (int percent : {70, 40, 15})
        {
            auto mesh = refinetest::randomSurface(seed, 16, 3, 5);
            const long target = count * percent / 100;
            CMeshDecimation decimation;
            EXPECT_TRUE(decimation.decimate(*mesh, target));
            EXPECT_EQ(refinetest::surfaceFault(*mesh), "") << "seed " << seed << " target " << target;
            // Every piece that stays keeps its Euler characteristic.
            EXPECT_TRUE(isSubset(refinetest::eulerByPiece(*mesh), euler)) << "seed " << seed;
            EXPECT_EQ(mesh->getEdges().getCount(), 0);
            EXPECT_TRUE(mesh->getEdges().getQueue().empty());
            // Fewer than the target: by one or two, unless pieces could not shrink further.
            EXPECT_LT(mesh->getNumOfTris(), target) << "seed " << seed;
            if (percent >= 40)
            {
                EXPECT_GE(mesh->getNumOfTris(), target - 2) << "seed " << seed;
            }
        }
    }
}

TEST(MeshDecimation, SmoothedSurfaceToTargetByOneOrTwo)
{
    for (unsigned seed = 20; seed < 26; ++seed)
    {
        auto mesh = refinetest::randomSurface(seed, 18, 2, 6);
        ASSERT_TRUE(CMeshSmoothing().smooth(*mesh, 5, 0.6073, 0.1));
        const long target = mesh->getNumOfTris() / 3;
        EXPECT_TRUE(CMeshDecimation().decimate(*mesh, target));
        EXPECT_GE(mesh->getNumOfTris(), target - 2);
        EXPECT_LT(mesh->getNumOfTris(), target);
        EXPECT_EQ(refinetest::surfaceFault(*mesh), "") << "seed " << seed;
    }
}

TEST(MeshDecimation, IsolatedTetrahedronDisappears)
{
    vctl::MCTriS mesh;
    addTetrahedron(mesh, 0);
    ASSERT_EQ(refinetest::surfaceFault(mesh), "");
    EXPECT_TRUE(CMeshDecimation().decimate(mesh, 3));
    EXPECT_EQ(mesh.getNumOfTris(), 0);
    EXPECT_EQ(mesh.getNumOfVertices(), 0);
    EXPECT_EQ(mesh.getEdges().getCount(), 0);

    // Target 0: every piece shrinks to a tetrahedron and goes; the run ends.
    auto pieces = refinetest::randomSurface(9);
    EXPECT_TRUE(CMeshDecimation().decimate(*pieces, 0));
    EXPECT_EQ(refinetest::surfaceFault(*pieces), "");
    EXPECT_EQ(pieces->getNumOfTris(), 0);
}

TEST(MeshDecimation, CostlyCollapsesComeAfterTheCheapOnes)
{
    // On the grid cube every collapse within a face or along an edge costs nothing; moving
    // a corner costs. Down to 13 triangles, only free collapses are needed: the result is
    // the cube with its 8 corners, 12 triangles.
    auto cube = refinetest::gridCube(4);
    EXPECT_TRUE(CMeshDecimation().decimate(*cube, 13));
    EXPECT_EQ(cube->getNumOfTris(), 12);
    EXPECT_EQ(cube->getNumOfVertices(), 8);
    EXPECT_EQ(refinetest::surfaceFault(*cube), "");
    EXPECT_NEAR(meshcheck::examine(*cube).totalVolume, 64.0, 1e-9);

    // On a steep double pyramid every collapse turns some triangle by more than 45.6
    // degrees: at least the penalty, but allowed.
    vctl::MCTriS mesh;
    auto* apex = mesh.getVertices().addVertex(0, 0, 3);
    std::vector<vctl::MCVertex*> ring;
    for (int i = 0; i < 4; ++i)
        ring.push_back(mesh.getVertices().addVertex(i == 0 || i == 3 ? 1 : -1, i < 2 ? 1 : -1, 0));
    ring.push_back(mesh.getVertices().addVertex(0, 0, -3));
    for (int i = 0; i < 4; ++i)
    {
        mesh.addTri(apex, ring[i], ring[(i + 1) % 4]);
        mesh.addTri(ring[4], ring[(i + 1) % 4], ring[i]);
    }
    ASSERT_EQ(refinetest::surfaceFault(mesh), "");
    mesh.buildEdges();
    CMeshDecimation decimation;
    for (vctl::MCEdge* e = mesh.getEdges().getFirst(); e; e = e->getNext())
    {
        int mode = -1;
        const double cost = decimation.edgeCost(e, mode);
        EXPECT_GE(cost, CMeshDecimation::TURN_PENALTY);
        EXPECT_NE(mode, CMeshDecimation::MODE_FORBIDDEN);
    }
}

TEST(MeshDecimation, StopsLeaveTheMeshAsItWas)
{
    for (int stopAt : {1, 2, 5})
    {
        auto mesh = refinetest::randomSurface(11, 16, 3, 5);
        CFlatAreaReduction().reduce(*mesh);
        const auto before = refinetest::stateOf(*mesh);
        const int count = mesh->getNumOfTris();
        // A stop in the initial costs: success, mesh unchanged.
        CMeshDecimation initial;
        initial.setProgressCallback(kvo::mod::CProgress::tProgressCallback([](int, int) { return false; }));
        EXPECT_TRUE(initial.decimate(*mesh, count / 4));
        EXPECT_EQ(refinetest::stateOf(*mesh), before);
        // A stop during the collapses: failure, the same triangles and vertices in order.
        CMeshDecimation collapses;
        // The initial pass reports 1, 2, ...; the collapses count again from 1.
        int last = 0, ofCollapses = 0;
        bool collapsing = false;
        collapses.setProgressCallback(kvo::mod::CProgress::tProgressCallback([&](int current, int) {
            collapsing = collapsing || current <= last;
            last = current;
            return !collapsing || ++ofCollapses < stopAt;
        }));
        EXPECT_FALSE(collapses.decimate(*mesh, count / 4)) << stopAt;
        EXPECT_EQ(refinetest::stateOf(*mesh), before) << stopAt;
        EXPECT_EQ(refinetest::surfaceFault(*mesh), "");
        EXPECT_EQ(mesh->getEdges().getCount(), 0);
        // And the restored mesh decimates like the original.
        EXPECT_TRUE(CMeshDecimation().decimate(*mesh, count / 4));
        EXPECT_EQ(refinetest::surfaceFault(*mesh), "");
    }
}

TEST(MeshDecimation, CostQueueOrdersLikeAnOrderedMultimap)
{
    // Random puts, re-keys and removals with many equal keys, against a multimap that
    // inserts behind equal keys.
    std::mt19937 random(17);
    for (int round = 0; round < 20; ++round)
    {
        const int items = 1 + static_cast<int>(random() % 200);
        CCostQueue queue;
        queue.reset(static_cast<std::size_t>(items));
        std::multimap<double, int> reference;
        std::map<int, std::multimap<double, int>::iterator> where;
        for (int step = 0; step < 2000; ++step)
        {
            const int item = static_cast<int>(random() % static_cast<unsigned>(items));
            const double key = static_cast<double>(random() % 7);
            if (random() % 4 == 0)
            {
                queue.remove(item);
                if (where.count(item))
                {
                    reference.erase(where[item]);
                    where.erase(item);
                }
            }
            else
            {
                queue.put(item, key);
                if (where.count(item))
                    reference.erase(where[item]);
                where[item] = reference.emplace(key, item);
            }
            ASSERT_EQ(queue.size(), reference.size());
            ASSERT_EQ(queue.contains(item), where.count(item) == 1);
            if (reference.empty())
                continue;
            ASSERT_EQ(queue.front(), reference.begin()->second);
            ASSERT_EQ(queue.frontKey(), reference.begin()->first);
            double second = -1.0;
            ASSERT_EQ(queue.secondKey(second), reference.size() > 1);
            if (reference.size() > 1)
            {
                ASSERT_EQ(second, std::next(reference.begin())->first);
            }
        }
        // Draining gives the multimap's order.
        for (const auto& [key, item] : reference)
        {
            ASSERT_EQ(queue.front(), item);
            ASSERT_EQ(queue.frontKey(), key);
            queue.remove(item);
        }
        EXPECT_TRUE(queue.empty());
    }
}

TEST(MeshDecimation, OnlyForbiddenEdgesLeftEndsTheRun)
{
    // The seven-vertex torus: every two vertices are neighbours, so no edge may collapse.
    vctl::MCTriS mesh;
    std::vector<vctl::MCVertex*> v;
    for (int i = 0; i < 7; ++i)
        v.push_back(mesh.getVertices().addVertex(std::cos(i * 0.9), std::sin(i * 0.9), i % 2));
    for (int i = 0; i < 7; ++i)
    {
        mesh.addTri(v[i], v[(i + 1) % 7], v[(i + 3) % 7]);
        mesh.addTri(v[i], v[(i + 3) % 7], v[(i + 2) % 7]);
    }
    ASSERT_EQ(mesh.getNumOfTris(), 14);
    mesh.buildEdges();
    ASSERT_EQ(mesh.getEdges().getCount(), 21);
    CMeshDecimation decimation;
    for (vctl::MCEdge* e = mesh.getEdges().getFirst(); e; e = e->getNext())
    {
        int mode = -1;
        EXPECT_GE(decimation.edgeCost(e, mode), CMeshDecimation::FORBIDDEN_COST);
        EXPECT_EQ(mode, CMeshDecimation::MODE_FORBIDDEN);
    }
    const auto before = refinetest::stateOf(mesh);
    EXPECT_TRUE(decimation.decimate(mesh, 0));
    EXPECT_EQ(refinetest::stateOf(mesh), before);
    EXPECT_EQ(mesh.getEdges().getCount(), 0);
}

TEST(MeshDecimation, CostQueueKeepsTheOrderOfEqualKeysWhenItsSequenceRunsOut)
{
    // Re-keys across the end of the 32-bit sequence numbers, many with equal keys: the
    // queue must still drain in the multimap's order.
    std::mt19937 random(5);
    CCostQueue queue;
    const int items = 300;
    queue.reset(items);
    queue.setNextSequenceNumber(~std::uint32_t(0) - 400);
    std::multimap<double, int> reference;
    std::map<int, std::multimap<double, int>::iterator> where;
    for (int step = 0; step < 3000; ++step)
    {
        const int item = static_cast<int>(random() % items);
        const double key = static_cast<double>(random() % 5);
        queue.put(item, key);
        if (where.count(item))
            reference.erase(where[item]);
        where[item] = reference.emplace(key, item);
        ASSERT_EQ(queue.front(), reference.begin()->second) << step;
    }
    EXPECT_LT(queue.nextSequenceNumber(), 4000u);
    for (const auto& [key, item] : reference)
    {
        ASSERT_EQ(queue.front(), item);
        ASSERT_EQ(queue.frontKey(), key);
        queue.remove(item);
    }
    EXPECT_TRUE(queue.empty());
}

TEST(MeshDecimation, EdgeCostsEqualThePlainComputationBitForBit)
{
    // Smoothed random surfaces give free, moved and penalised costs (forbidden ones: the
    // seven-vertex torus below).
    std::mt19937 random(3);
    int penalised = 0, moved = 0;
    for (unsigned seed = 30; seed < 34; ++seed)
    {
        auto mesh = refinetest::randomSurface(seed, 16, 3, 5);
        ASSERT_TRUE(CMeshSmoothing().smooth(*mesh, 3, 0.6073, 0.1));
        for (vctl::MCVertex* v = mesh->getVertices().getFirst(); v; v = v->getNext())
            v->setValue(static_cast<double>(random() % 1000) / 512.0);
        mesh->buildEdges();
        CMeshDecimation decimation;
        unsigned draw = 1;
        for (vctl::MCEdge* e = mesh->getEdges().getFirst(); e; e = e->getNext(), ++draw)
        {
            int mode = -1, expectedMode = -1;
            std::srand(draw);
            const double cost = decimation.edgeCost(e, mode);
            std::srand(draw);
            const double expected = referenceCost(e, expectedMode);
            ASSERT_EQ(cost, expected) << "seed " << seed << " edge " << draw;
            ASSERT_EQ(mode, expectedMode);
            penalised += cost >= CMeshDecimation::TURN_PENALTY && mode != CMeshDecimation::MODE_FORBIDDEN;
            moved += cost > 0.0 && cost < 1.0;
        }
    }
    EXPECT_GT(penalised, 0);
    EXPECT_GT(moved, 0);
}
