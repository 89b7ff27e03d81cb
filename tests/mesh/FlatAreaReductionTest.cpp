#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/MeshEditing.h"
#include "plugins/ostrum/mesh/MeshGeometry.h"
#include "tests/mesh/RefinementMeshes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using meshgeometry::CVector;

// Vertices of the grid cube by position.
std::map<std::array<double, 3>, vctl::MCVertex*> byPosition(vctl::MCTriS& mesh)
{
    std::map<std::array<double, 3>, vctl::MCVertex*> result;
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        result[{v->getX(), v->getY(), v->getZ()}] = v;
    return result;
}

bool onCubeSurface(const vctl::MCVertex* v, double n)
{
    const double c[3] = {v->getX(), v->getY(), v->getZ()};
    bool inside = true, onFace = false;
    for (double x : c)
    {
        inside = inside && x >= 0.0 && x <= n;
        onFace = onFace || x == 0.0 || x == n;
    }
    return inside && onFace;
}

} // namespace

TEST(FlatAreaReduction, ShapeMeasures)
{
    const CVector o{0, 0, 0};
    // Equilateral: 1; right isosceles: 3 × (2 + sqrt 2) × sqrt 2 × sqrt 3 / 12 / ... checked by formula.
    EXPECT_NEAR(meshgeometry::quality(o, {1, 0, 0}, {0.5, std::sqrt(3.0) / 2, 0}), 1.0, 1e-12);
    const double p = 2.0 + std::sqrt(2.0), m = std::sqrt(2.0);
    EXPECT_NEAR(meshgeometry::quality(o, {1, 0, 0}, {0, 1, 0}), p * m * std::sqrt(3.0) / (0.5 * 12), 1e-12);
    EXPECT_EQ(meshgeometry::quality(o, {1, 0, 0}, {2, 0, 0}), 1e6);
    EXPECT_EQ(meshgeometry::quality(o, o, o), 1e6);

    // Longest edge: edge i joins corner i and corner i + 1; ties go to the higher index.
    struct CCase
    {
        std::array<double, 3> p[3];
        int longest;
    };
    const CCase cases[] = {
        {{{0, 0, 0}, {4, 0, 0}, {2, 1, 0}}, 0}, {{{2, 1, 0}, {0, 0, 0}, {4, 0, 0}}, 1},
        {{{4, 0, 0}, {2, 1, 0}, {0, 0, 0}}, 2},
        {{{0, 0, 0}, {2, 0, 0}, {1, 5, 0}}, 2}, // edges 1 and 2 equal
        {{{1, 5, 0}, {0, 0, 0}, {2, 0, 0}}, 2}, // edges 0 and 2 equal
    };
    for (const CCase& c : cases)
    {
        vctl::MCTriS mesh;
        vctl::MCVertex* v[3];
        for (int i = 0; i < 3; ++i)
            v[i] = mesh.getVertices().addVertex(c.p[i][0], c.p[i][1], c.p[i][2]);
        EXPECT_EQ(meshgeometry::longestEdge(mesh.addTri(v[0], v[1], v[2])), c.longest);
    }
}

TEST(FlatAreaReduction, CubeCornersCreasesAndFaces)
{
    auto cube = refinetest::gridCube(4);
    CFlatAreaReduction::classifyVertices(*cube);
    int counts[3] = {0, 0, 0};
    for (const vctl::MCVertex* v = cube->getVertices().getFirst(); v; v = v->getNext())
    {
        int extremes = 0;
        for (double c : {v->getX(), v->getY(), v->getZ()})
            extremes += c == 0.0 || c == 4.0;
        const int expected = extremes == 3 ? CFlatAreaReduction::kCorner
                             : extremes == 2 ? CFlatAreaReduction::kCrease
                                             : 0;
        EXPECT_EQ(v->getFlags() & 6, expected) << v->getX() << " " << v->getY() << " " << v->getZ();
        ++counts[extremes - 1];
    }
    EXPECT_EQ(counts[2], 8);
    EXPECT_EQ(counts[1], 12 * 3);
    EXPECT_EQ(counts[0], 6 * 9);

    // A crease vertex never goes onto a flat neighbour on either side: the triangles of the
    // other side would bend.
    const refinetest::CMeshState before = refinetest::stateOf(*cube);
    int tried = 0;
    for (vctl::MCVertex* v = cube->getVertices().getFirst(); v; v = v->getNext())
    {
        if (!v->hasFlag(CFlatAreaReduction::kCrease))
            continue;
        for (const vctl::MCTri* t : vctl::triangles(v))
        {
            vctl::MCVertex* w = t->getFollowing(t->getCornerIndex(v));
            if (w->getFlags() & 6)
                continue;
            EXPECT_FALSE(CFlatAreaReduction::collapseVertex(*cube, v, w));
            ++tried;
        }
    }
    EXPECT_GT(tried, 36);
    EXPECT_EQ(refinetest::stateOf(*cube), before);
}

TEST(FlatAreaReduction, CollapseMovesAFlatVertexAndNeverACorner)
{
    // A hexagonal fan around v; with v raised the fan is a pyramid and v a corner.
    for (const double height : {0.0, 0.5})
    {
        vctl::MCTriS mesh;
        vctl::MCVertex* v = mesh.getVertices().addVertex(0, 0, height);
        std::vector<vctl::MCVertex*> ring;
        for (int i = 0; i < 6; ++i)
            ring.push_back(mesh.getVertices().addVertex(std::cos(i * M_PI / 3), std::sin(i * M_PI / 3), 0));
        for (int i = 0; i < 6; ++i)
            mesh.addTri(v, ring[i], ring[(i + 1) % 6]);
        const refinetest::CMeshState before = refinetest::stateOf(mesh);
        const bool moved = CFlatAreaReduction::collapseVertex(mesh, v, ring[0]);
        EXPECT_EQ(moved, height == 0.0);
        if (!moved)
        {
            EXPECT_EQ(refinetest::stateOf(mesh), before);
            continue;
        }
        EXPECT_EQ(mesh.getNumOfTris(), 4);
        EXPECT_EQ(mesh.getNumOfVertices(), 6);
        for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        {
            EXPECT_TRUE(t->contains(ring[0]));
            EXPECT_GT(meshgeometry::unitNormal(t).z, 0.99999);
        }
        EXPECT_EQ(vctl::triangles(ring[0]).size(), 4u);
    }
}

TEST(FlatAreaReduction, ReducedCubeStaysTheCube)
{
    for (int n : {2, 3, 5, 8})
    {
        auto cube = refinetest::gridCube(n);
        const int before = cube->getNumOfTris();
        CFlatAreaReduction reduction;
        std::vector<std::pair<int, int>> reports;
        reduction.setProgressCallback(kvo::mod::CProgress::tProgressCallback([&](int current, int total) {
            reports.emplace_back(current, total);
            return true;
        }));
        EXPECT_TRUE(reduction.reduce(*cube));
        EXPECT_EQ(refinetest::surfaceFault(*cube), "") << n;
        EXPECT_LT(cube->getNumOfTris(), before);
        // The corners stay, every vertex stays on the surface, the volume is the cube's.
        const auto vertices = byPosition(*cube);
        for (double x : {0.0, double(n)})
            for (double y : {0.0, double(n)})
                for (double z : {0.0, double(n)})
                    EXPECT_TRUE(vertices.count({x, y, z})) << n;
        for (const vctl::MCVertex* v = cube->getVertices().getFirst(); v; v = v->getNext())
        {
            EXPECT_TRUE(onCubeSurface(v, n));
            EXPECT_EQ(v->getFlags() & 6, 0);
        }
        EXPECT_NEAR(meshcheck::examine(*cube).totalVolume, double(n) * n * n, 1e-9);
        // One quality report per triangles / 1000 + 1 triangles, out of 1000.
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back().second, 1000);
        for (std::size_t r = 0; r < reports.size(); ++r)
            EXPECT_EQ(reports[r].first, int(r) + 1);
    }
}

TEST(FlatAreaReduction, StopInTheQualityPassIsNoFailure)
{
    auto cube = refinetest::gridCube(6);
    CFlatAreaReduction reduction;
    int reports = 0;
    reduction.setProgressCallback(kvo::mod::CProgress::tProgressCallback([&](int, int) {
        ++reports;
        return false;
    }));
    EXPECT_TRUE(reduction.reduce(*cube));
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(refinetest::surfaceFault(*cube), "");
    EXPECT_NEAR(meshcheck::examine(*cube).totalVolume, 216.0, 1e-9);
}

TEST(FlatAreaReduction, FlipsOnlyBetweenCoplanarTriangles)
{
    // t = (e0, e1, v) and n = (e1, e0, w) share their long edge e0-e1; w is lifted by `lift`.
    struct CCase
    {
        double lift;
        bool flips;
    };
    for (const CCase& c : {CCase{0.0, true}, CCase{0.0005, true}, CCase{0.01, false}, CCase{-0.01, false}})
    {
        vctl::MCTriS mesh;
        auto* e0 = mesh.getVertices().addVertex(0, 0, 0);
        auto* e1 = mesh.getVertices().addVertex(2, 0, 0);
        auto* v = mesh.getVertices().addVertex(1, 0.2, 0);
        auto* w = mesh.getVertices().addVertex(1, -0.2, c.lift);
        vctl::MCTri* t = mesh.addTri(e0, e1, v);
        vctl::MCTri* n = mesh.addTri(e1, e0, w);
        t->setValue(meshgeometry::quality(t));
        n->setValue(meshgeometry::quality(n));
        const double worse = std::max(t->getValue(), n->getValue());
        EXPECT_EQ(CFlatAreaReduction::flipEdges(mesh), c.flips ? 1 : 0) << c.lift;
        EXPECT_EQ(mesh.getNumOfTris(), 2);
        if (!c.flips)
            continue;
        // The same two objects, now across v-w, oriented as before, with better shapes.
        EXPECT_TRUE(t->contains(v) && t->contains(w) && t->contains(e1));
        EXPECT_TRUE(n->contains(v) && n->contains(w) && n->contains(e0));
        EXPECT_GT(meshgeometry::unitNormal(t).z, 0.9999);
        EXPECT_GT(meshgeometry::unitNormal(n).z, 0.9999);
        EXPECT_LT(std::max(t->getValue(), n->getValue()), worse);
        EXPECT_EQ(vctl::neighbour(t, 0), n);
        EXPECT_EQ(vctl::triangles(e0).size(), 1u);
        EXPECT_EQ(vctl::triangles(v).size(), 2u);
    }
}

TEST(FlatAreaReduction, RandomSurfacesStayClosedWithTheirVolume)
{
    for (unsigned seed = 1; seed <= 16; ++seed)
    {
        auto mesh = refinetest::randomSurface(seed);
        const meshcheck::CSurfaceReport before = meshcheck::examine(*mesh);
        const std::multiset<int> euler = refinetest::eulerByPiece(*mesh);
        const int triangles = mesh->getNumOfTris();
        ASSERT_EQ(refinetest::surfaceFault(*mesh), "");
        EXPECT_TRUE(CFlatAreaReduction().reduce(*mesh));
        EXPECT_EQ(refinetest::surfaceFault(*mesh), "") << "seed " << seed;
        EXPECT_LT(mesh->getNumOfTris(), triangles);
        // Only flat and straight-crease vertices moved, along their planes: same shape.
        EXPECT_NEAR(meshcheck::examine(*mesh).totalVolume, before.totalVolume, 1e-6) << "seed " << seed;
        EXPECT_EQ(refinetest::eulerByPiece(*mesh), euler) << "seed " << seed;
    }
}

namespace {

// The flip passes as literally described: every triangle of the list in every pass.
long referenceFlips(vctl::MCTriS& mesh)
{
    using namespace meshgeometry;
    long flips = 0;
    for (bool flipped = true; flipped;)
    {
        flipped = false;
        for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        {
            const int i = longestEdge(t);
            vctl::MCTri* n = vctl::neighbour(t, i);
            if (!n || dot(unitNormal(n), unitNormal(t)) < 0.99999)
                continue;
            vctl::MCVertex* e0 = t->getVertex(i);
            vctl::MCVertex* e1 = t->getVertex((i + 1) % 3);
            vctl::MCVertex* v = t->getVertex((i + 2) % 3);
            vctl::MCVertex* w = n->getVertex(0) != e0 && n->getVertex(0) != e1   ? n->getVertex(0)
                                : n->getVertex(1) != e0 && n->getVertex(1) != e1 ? n->getVertex(1)
                                                                                 : n->getVertex(2);
            const CVector pv = position(v), pw = position(w), p0 = position(e0), p1 = position(e1);
            if (dot(unitNormal(pv, pw, p1), unitNormal(t)) < 0.9999 || area(pv, pw, p1) < 1e-9 ||
                dot(unitNormal(pw, pv, p0), unitNormal(t)) < 0.9999 || area(pw, pv, p0) < 1e-9)
                continue;
            const double q1 = quality(pv, pw, p1), q2 = quality(pw, pv, p0);
            if (!(std::max(q1, q2) < std::max(t->getValue(), n->getValue())))
                continue;
            bool joined = false;
            for (const vctl::MCTri* around : vctl::triangles(v))
                joined = joined || around->contains(w);
            if (joined)
                continue;
            meshedit::detachTri(t);
            meshedit::detachTri(n);
            meshedit::setCorners(t, v, w, e1);
            meshedit::setCorners(n, w, v, e0);
            t->setValue(q1);
            n->setValue(q2);
            meshedit::attachTri(t);
            meshedit::attachTri(n);
            flipped = true;
            ++flips;
        }
    }
    return flips;
}

} // namespace

TEST(FlatAreaReduction, FlipPassesEqualTheLiteralPasses)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
    {
        auto mesh = refinetest::randomSurface(seed);
        auto reference = refinetest::randomSurface(seed);
        for (vctl::MCTriS* m : {mesh.get(), reference.get()})
            for (vctl::MCTri* t = m->getFirst(); t; t = t->getNext())
                t->setValue(meshgeometry::quality(t));
        const long flips = CFlatAreaReduction::flipEdges(*mesh);
        EXPECT_EQ(flips, referenceFlips(*reference));
        EXPECT_GT(flips, 0);
        EXPECT_EQ(refinetest::stateOf(*mesh), refinetest::stateOf(*reference)) << "seed " << seed;
        EXPECT_EQ(refinetest::surfaceFault(*mesh), "");
        for (const vctl::MCTri* t = mesh->getFirst(); t; t = t->getNext())
            ASSERT_EQ(t->getFlags(), 0);
    }
}
