#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "tests/mesh/MeshChecks.h"
#include "toolkit/sys/MemoryLimit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <vector>

using tVolume = CMarchingCubes::tRegionVolume;

namespace {

constexpr int EDGE_CORNERS[12][2] = {{0, 1}, {1, 2}, {2, 3}, {0, 3}, {0, 4}, {1, 5},
                                     {2, 6}, {3, 7}, {4, 5}, {5, 6}, {6, 7}, {4, 7}};

std::vector<std::array<int, 3>> row(int code)
{
    std::vector<std::array<int, 3>> tris;
    for (int t = 0; t < 4 && CMarchingCubes::CASE_TABLE[code][3 * t] >= 0; ++t)
        tris.push_back({CMarchingCubes::CASE_TABLE[code][3 * t], CMarchingCubes::CASE_TABLE[code][3 * t + 1],
                        CMarchingCubes::CASE_TABLE[code][3 * t + 2]});
    return tris;
}

TEST(MarchingCubesTable, GivenRowsArePresent)
{
    const std::map<int, std::vector<std::array<int, 3>>> given = {
        {1, {{0, 3, 4}}},
        {2, {{1, 0, 5}}},
        {3, {{5, 1, 3}, {3, 4, 5}}},
        {5, {{0, 3, 4}, {2, 1, 6}}},
        {7, {{3, 4, 6}, {6, 2, 3}, {4, 5, 6}}},
        {15, {{4, 5, 6}, {6, 7, 4}}},
        {16, {{11, 8, 4}}},
        {23, {{8, 5, 11}, {5, 6, 2}, {5, 2, 11}, {2, 3, 11}}},
        {60, {{7, 3, 1}, {1, 6, 7}, {4, 11, 9}, {9, 5, 4}}},
        {90, {{1, 0, 5}, {3, 2, 7}, {11, 8, 4}, {9, 10, 6}}},
        {127, {{10, 7, 11}}},
        {128, {{10, 11, 7}}},
        {165, {{0, 3, 4}, {2, 1, 6}, {8, 9, 5}, {10, 11, 7}}},
        {250, {{0, 4, 3}, {2, 6, 1}}},
        {254, {{0, 4, 3}}},
    };
    for (const auto& [code, tris] : given)
        EXPECT_EQ(row(code), tris) << "code " << code;
    for (int code = 0; code < 256; ++code)
        for (int place = 3 * static_cast<int>(row(code).size()); place < 12; ++place)
            EXPECT_EQ(CMarchingCubes::CASE_TABLE[code][place], -1) << code;
}

TEST(MarchingCubesTable, RowSizesAndComplementRule)
{
    std::map<std::size_t, int> sizes;
    for (int code = 0; code < 256; ++code)
    {
        ++sizes[row(code).size()];
        if (std::popcount(static_cast<unsigned>(code)) >= 5)
        {
            const auto complement = row(255 - code);
            const auto own = row(code);
            ASSERT_EQ(own.size(), complement.size()) << code;
            for (std::size_t t = 0; t < own.size(); ++t)
                EXPECT_EQ(own[t], (std::array<int, 3>{complement[t][0], complement[t][2], complement[t][1]})) << code;
        }
    }
    EXPECT_EQ(sizes, (std::map<std::size_t, int>{{0, 2}, {1, 16}, {2, 62}, {3, 112}, {4, 64}}));
}

// Each row must cut exactly the edges with a sign change, form closed loops whose open
// segments pair the edges of one face, face away from the inside corners, and on an
// ambiguous face cut off the inside corners (at most four inside) or the outside ones.
TEST(MarchingCubesTable, RowsAreClosedOrientedAndSeparateAmbiguousFaces)
{
    const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 2, 6, 7}, {0, 3, 7, 4}, {1, 2, 6, 5}};
    const int corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const auto edgeOf = [](int a, int b) {
        for (int e = 0; e < 12; ++e)
            if ((EDGE_CORNERS[e][0] == a && EDGE_CORNERS[e][1] == b) || (EDGE_CORNERS[e][0] == b && EDGE_CORNERS[e][1] == a))
                return e;
        return -1;
    };
    for (int code = 1; code < 255; ++code)
    {
        const auto inside = [&](int c) { return (code >> c) & 1; };
        std::set<int> used;
        std::map<std::pair<int, int>, int> directed;
        for (const auto& t : row(code))
            for (int c = 0; c < 3; ++c)
            {
                used.insert(t[c]);
                ++directed[{t[c], t[(c + 1) % 3]}];
            }
        for (int e = 0; e < 12; ++e)
            EXPECT_EQ(used.count(e) == 1, inside(EDGE_CORNERS[e][0]) != inside(EDGE_CORNERS[e][1])) << code;
        // Open segments: directed edges without their reverse; they lie on the faces.
        std::set<std::pair<int, int>> open;
        for (const auto& [edge, count] : directed)
        {
            EXPECT_EQ(count, 1) << code;
            if (!directed.count({edge.second, edge.first}))
                open.insert(edge);
        }
        for (const auto& segment : open)
        {
            bool onFace = false;
            for (const auto& face : faces)
            {
                std::set<int> faceEdges;
                for (int i = 0; i < 4; ++i)
                    faceEdges.insert(edgeOf(face[i], face[(i + 1) % 4]));
                if (faceEdges.count(segment.first) && faceEdges.count(segment.second))
                    onFace = true;
            }
            EXPECT_TRUE(onFace) << code;
        }
        // Orientation: seen from outside the cube, each open segment runs clockwise around
        // the inside part of its face, so that the triangles face away from the inside.
        for (const auto& segment : open)
        {
            for (int f = 0; f < 6; ++f)
            {
                int at1 = -1, at2 = -1; // positions of the two edges around the face
                for (int i = 0; i < 4; ++i)
                {
                    const int e = edgeOf(faces[f][i], faces[f][(i + 1) % 4]);
                    at1 = e == segment.first ? i : at1;
                    at2 = e == segment.second ? i : at2;
                }
                if (at1 < 0 || at2 < 0)
                    continue;
                // A corner on a known side: the corner between adjacent edges, else an end
                // of the first edge.
                int reference = faces[f][at1];
                if ((at1 + 1) % 4 == at2)
                    reference = faces[f][at2];
                else if ((at2 + 1) % 4 == at1)
                    reference = faces[f][at1];
                else if (!inside(reference))
                    reference = faces[f][(at1 + 1) % 4];
                double p[2][3];
                for (int a = 0; a < 3; ++a)
                {
                    p[0][a] = 0.5 * (corner[EDGE_CORNERS[segment.first][0]][a] + corner[EDGE_CORNERS[segment.first][1]][a]);
                    p[1][a] = 0.5 * (corner[EDGE_CORNERS[segment.second][0]][a] + corner[EDGE_CORNERS[segment.second][1]][a]);
                }
                const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
                const double v[3] = {corner[reference][0] - p[0][0], corner[reference][1] - p[0][1], corner[reference][2] - p[0][2]};
                const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
                // Outward normal of the face: from the cube centre to the face centre.
                double outward = 0;
                for (int a = 0; a < 3; ++a)
                {
                    double centre = 0;
                    for (int i = 0; i < 4; ++i)
                        centre += corner[faces[f][i]][a] / 4.0;
                    outward += n[a] * (centre - 0.5);
                }
                EXPECT_EQ(outward < 0, inside(reference) == 1) << "code " << code << " face " << f;
            }
        }
        // Ambiguous faces: segments cut off the inside corners (or, with five or more
        // inside, the outside ones).
        const bool fewInside = std::popcount(static_cast<unsigned>(code)) <= 4;
        for (const auto& face : faces)
        {
            if (!(inside(face[0]) == inside(face[2]) && inside(face[1]) == inside(face[3]) && inside(face[0]) != inside(face[1])))
                continue;
            for (int i = 0; i < 4; ++i)
            {
                if (inside(face[i]) != (fewInside ? 1 : 0))
                    continue;
                const int e1 = edgeOf(face[(i + 3) % 4], face[i]);
                const int e2 = edgeOf(face[i], face[(i + 1) % 4]);
                EXPECT_TRUE(open.count({e1, e2}) || open.count({e2, e1})) << "code " << code;
            }
        }
    }
}

TEST(MarchingCubesTable, PatchListsFollowTheFaceRule)
{
    // Bottom face of the cube against the top face of the one below, and likewise.
    const int own[3][4] = {{0, 1, 2, 3}, {0, 1, 5, 4}, {0, 3, 7, 4}};
    const int other[3][4] = {{4, 5, 6, 7}, {3, 2, 6, 7}, {1, 2, 6, 5}};
    using tList = std::int16_t[256][CMarchingCubes::PATCH_LIST_LENGTH];
    const tList* lists[3] = {&CMarchingCubes::patchListZ(), &CMarchingCubes::patchListY(), &CMarchingCubes::patchListX()};
    int face = 0;
    for (const auto* list : lists)
    {
        int codesWithList = 0, pairs = 0;
        for (int c = 0; c < 256; ++c)
        {
            std::set<int> expected;
            for (int n = 0; n < 256; ++n)
            {
                bool same = true;
                for (int i = 0; i < 4; ++i)
                    same = same && ((c >> own[face][i]) & 1) == ((n >> other[face][i]) & 1);
                const int a = (c >> own[face][0]) & 1, b = (c >> own[face][1]) & 1;
                const bool ambiguous = a != b && a == ((c >> own[face][2]) & 1) && b == ((c >> own[face][3]) & 1);
                const bool oneFew = (std::popcount(static_cast<unsigned>(c)) <= 4) != (std::popcount(static_cast<unsigned>(n)) <= 4);
                if (same && ambiguous && oneFew)
                    expected.insert(n);
            }
            std::set<int> listed;
            for (int i = 0; i < CMarchingCubes::PATCH_LIST_LENGTH && (*list)[c][i] >= 0; ++i)
                listed.insert((*list)[c][i]);
            EXPECT_EQ(listed, expected) << "face " << face << " code " << c;
            codesWithList += listed.empty() ? 0 : 1;
            pairs += static_cast<int>(listed.size());
        }
        EXPECT_EQ(codesWithList, 32);
        EXPECT_EQ(pairs, 220);
        ++face;
    }
}

tVolume makeVolume(int x, int y, int z)
{
    tVolume volume(x, y, z);
    volume.fill(0);
    return volume;
}

bool extract(vctl::MCTriS& mesh, const tVolume& volume, int region, double dx = 1, double dy = 1, double dz = 1)
{
    CMarchingCubes mc;
    mc.setDimensions(volume.getXSize(), volume.getYSize(), volume.getZSize());
    mc.setVoxelSize(dx, dy, dz);
    return mc.extract(&mesh, region, volume, true);
}

TEST(MarchingCubes, SingleVoxelIsAnOctahedron)
{
    tVolume volume = makeVolume(3, 3, 3);
    volume.at(1, 1, 1) = 7;
    vctl::MCTriS mesh;
    ASSERT_TRUE(extract(mesh, volume, 7, 0.5, 2.0, 3.0));
    EXPECT_EQ(mesh.getNumOfTris(), 8);
    EXPECT_EQ(mesh.getNumOfVertices(), 6);
    // Centre at (1.5 × size) along each axis; each vertex half a voxel from it on one axis.
    const double centre[3] = {0.75, 3.0, 4.5};
    const double size[3] = {0.5, 2.0, 3.0};
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        const double offset[3] = {v->getX() - centre[0], v->getY() - centre[1], v->getZ() - centre[2]};
        int moved = 0;
        for (int axis = 0; axis < 3; ++axis)
        {
            if (std::fabs(offset[axis]) > 1e-12)
            {
                ++moved;
                EXPECT_NEAR(std::fabs(offset[axis]), 0.5 * size[axis], 1e-12);
            }
        }
        EXPECT_EQ(moved, 1);
    }
    const auto report = meshcheck::examine(mesh);
    EXPECT_EQ(report.problem, "");
    // The octahedron holds one sixth of the voxel.
    EXPECT_NEAR(report.totalVolume, 0.5 * 2.0 * 3.0 / 6.0, 1e-12);
}

TEST(MarchingCubes, VertexPositionsBetweenVoxels)
{
    tVolume volume = makeVolume(4, 1, 1);
    volume.at(1, 0, 0) = 1;
    volume.at(2, 0, 0) = 1;
    vctl::MCTriS mesh;
    ASSERT_TRUE(extract(mesh, volume, 1, 2.0, 1.0, 1.0));
    std::set<double> xs;
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        xs.insert(v->getX());
    // Between voxels 0|1 at 1 × dx, 2|3 at 3 × dx; the side vertices at the voxel centres.
    EXPECT_EQ(xs, (std::set<double>{2.0, 3.0, 5.0, 6.0}));
    EXPECT_EQ(meshcheck::examine(mesh).problem, "");
}

TEST(MarchingCubes, RegionTouchingEveryBorderIsClosed)
{
    tVolume volume = makeVolume(4, 3, 2);
    volume.fill(2);
    vctl::MCTriS mesh;
    ASSERT_TRUE(extract(mesh, volume, 2));
    const auto report = meshcheck::examine(mesh);
    EXPECT_EQ(report.problem, "");
    ASSERT_EQ(report.componentVolumes.size(), 1u);
    EXPECT_GT(report.totalVolume, 0.0);
    EXPECT_NEAR(meshcheck::windingNumber(mesh, 0.5, 0.5, 0.5), 1.0, 1e-9);
    EXPECT_NEAR(meshcheck::windingNumber(mesh, -0.5, 0.5, 0.5), 0.0, 1e-9);
}

TEST(MarchingCubes, AbsentRegionGivesAnEmptyMesh)
{
    tVolume volume = makeVolume(5, 4, 3);
    volume.at(2, 2, 1) = 1;
    for (int region : {3, -1, 70000})
    {
        vctl::MCTriS mesh;
        EXPECT_TRUE(extract(mesh, volume, region));
        EXPECT_EQ(mesh.getNumOfTris(), 0);
        EXPECT_EQ(mesh.getNumOfVertices(), 0);
    }
    // Background label 0 is a region like any other: its surface wraps the whole volume.
    vctl::MCTriS background;
    EXPECT_TRUE(extract(background, volume, 0));
    EXPECT_EQ(meshcheck::examine(background).problem, "");
    EXPECT_EQ(meshcheck::examine(background).componentVolumes.size(), 2u); // with a cavity
}

struct CRecorder
{
    std::vector<std::pair<int, int>> calls;
    int stopAt = -1;
    bool report(int current, int total)
    {
        calls.emplace_back(current, total);
        return current != stopAt;
    }
};

TEST(MarchingCubes, ProgressPerSliceAndCancel)
{
    tVolume volume = makeVolume(6, 6, 5);
    for (int z = 0; z < 5; ++z)
        volume.at(2, 3, z) = 1;
    CMarchingCubes mc;
    mc.setDimensions(6, 6, 5);
    mc.setVoxelSize(1, 1, 1);
    CRecorder recorder;
    mc.setProgressCallback(CMarchingCubes::tProgressCallback(&recorder, &CRecorder::report));
    vctl::MCTriS full;
    ASSERT_TRUE(mc.extract(&full, 1, volume));
    ASSERT_EQ(recorder.calls.size(), 6u); // Z + 1 layers
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(recorder.calls[i], std::make_pair(i + 1, 5));

    // Success restored the default callback: no more reports reach the recorder.
    recorder.calls.clear();
    vctl::MCTriS again;
    ASSERT_TRUE(mc.extract(&again, 1, volume));
    EXPECT_TRUE(recorder.calls.empty());

    recorder.stopAt = 2;
    mc.setProgressCallback(CMarchingCubes::tProgressCallback(&recorder, &CRecorder::report));
    vctl::MCTriS partial;
    EXPECT_FALSE(mc.extract(&partial, 1, volume));
    EXPECT_EQ(recorder.calls.size(), 2u); // stopped right after the second layer
    EXPECT_GT(partial.getNumOfTris(), 0);
    EXPECT_LT(partial.getNumOfTris(), full.getNumOfTris());
}

TEST(MarchingCubes, DimensionsBeyondTheVolumeReadNothingOutside)
{
    tVolume volume = makeVolume(2, 2, 2);
    volume.fill(1);
    CMarchingCubes mc;
    mc.setDimensions(5, 4, 3); // larger than the volume: the rest counts as outside
    mc.setVoxelSize(1, 1, 1);
    vctl::MCTriS mesh;
    ASSERT_TRUE(mc.extract(&mesh, 1, volume));
    const auto report = meshcheck::examine(mesh);
    EXPECT_EQ(report.problem, "");
    vctl::MCTriS exact;
    ASSERT_TRUE(extract(exact, volume, 1));
    EXPECT_EQ(mesh.getNumOfTris(), exact.getNumOfTris());
}

// Every mask of twelve voxels in each orientation: closed, oriented, and winding number 1
// exactly at the inside voxel centres. Covers every pair of face-adjacent cube codes that
// such small volumes produce, the patched faces included.
TEST(MarchingCubes, EveryMaskOfTwelveVoxels)
{
    const int shapes[3][3] = {{3, 2, 2}, {2, 3, 2}, {2, 2, 3}};
    int patched = 0;
    for (const auto& shape : shapes)
    {
        const int X = shape[0], Y = shape[1], Z = shape[2];
        for (int mask = 0; mask < (1 << 12); ++mask)
        {
            tVolume volume = makeVolume(X, Y, Z);
            for (int i = 0; i < 12; ++i)
                volume.at(i % X, (i / X) % Y, i / (X * Y)) = static_cast<std::uint16_t>((mask >> i) & 1);
            vctl::MCTriS mesh;
            ASSERT_TRUE(extract(mesh, volume, 1));
            const auto report = meshcheck::examine(mesh);
            ASSERT_EQ(report.problem, "") << "mask " << mask << " shape " << X << Y << Z;
            for (int i = 0; i < 12; ++i)
            {
                const double w = meshcheck::windingNumber(mesh, i % X + 0.5, (i / X) % Y + 0.5, i / (X * Y) + 0.5);
                ASSERT_NEAR(w, (mask >> i) & 1, 1e-6) << "mask " << mask;
            }
            // Count meshes with flat triangles lying in a cube face (patches).
            for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
            {
                const auto coordinate = [&](int corner, int axis) {
                    const vctl::MCVertex* v = t->getVertex(corner);
                    return axis == 0 ? v->getX() : axis == 1 ? v->getY() : v->getZ();
                };
                const auto flatAlong = [&](int axis) {
                    const double a = coordinate(0, axis);
                    return a == coordinate(1, axis) && a == coordinate(2, axis) && std::fmod(a, 1.0) == 0.5;
                };
                if (flatAlong(0) || flatAlong(1) || flatAlong(2))
                {
                    ++patched;
                    break;
                }
            }
        }
    }
    EXPECT_GT(patched, 0); // the patches were exercised
}

//! Positions of every triangle's corners in list order.
std::vector<double> fingerprint(const vctl::MCTriS& mesh)
{
    std::vector<double> values;
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        for (int c = 0; c < 3; ++c)
        {
            values.push_back(t->getVertex(c)->getX());
            values.push_back(t->getVertex(c)->getY());
            values.push_back(t->getVertex(c)->getZ());
        }
    return values;
}

struct CRandomCase
{
    int seed;
    double density;
    bool clearBorder;
};

class MarchingCubesRandom : public ::testing::TestWithParam<CRandomCase>
{
};

// Random label volumes: the surface of the region is closed, 2-manifold and consistently
// oriented, has no duplicate vertices, and its winding number is 1 at the centre of every
// sampled inside voxel and 0 at every sampled outside one.
TEST_P(MarchingCubesRandom, SurfaceIsClosedOrientedAndEnclosesTheRegion)
{
    const CRandomCase& param = GetParam();
    std::mt19937 random(static_cast<unsigned>(param.seed));
    std::uniform_int_distribution<int> sizeOf(1, 24);
    const int X = sizeOf(random), Y = sizeOf(random), Z = sizeOf(random);
    tVolume volume = makeVolume(X, Y, Z);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> otherLabel(2, 4);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
            {
                const bool border = x == 0 || y == 0 || z == 0 || x == X - 1 || y == Y - 1 || z == Z - 1;
                if (param.clearBorder && border)
                    continue;
                volume.at(x, y, z) = static_cast<std::uint16_t>(unit(random) < param.density ? 1 : (unit(random) < 0.5 ? 0 : otherLabel(random)));
            }
    const double dx = 0.5 + unit(random), dy = 0.5 + unit(random), dz = 0.5 + unit(random);
    vctl::MCTriS mesh;
    ASSERT_TRUE(extract(mesh, volume, 1, dx, dy, dz));
    const auto report = meshcheck::examine(mesh);
    ASSERT_EQ(report.problem, "") << X << "x" << Y << "x" << Z;
    // The memory estimate counts exactly the vertices that the extraction creates.
    EXPECT_EQ(CMarchingCubes::countBoundaryEdges(X, Y, Z, 1, volume), std::uint64_t(mesh.getNumOfVertices()));
    for (double v : report.componentVolumes)
        EXPECT_GT(std::fabs(v), 1e-9); // no flat or self-cancelling component

    int insideVoxels = 0;
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
                insideVoxels += volume.at(x, y, z) == 1;
    if (insideVoxels == 0)
        EXPECT_EQ(mesh.getNumOfTris(), 0);
    else
        EXPECT_GT(report.totalVolume, 0.0);

    std::uniform_int_distribution<int> pickX(0, X - 1), pickY(0, Y - 1), pickZ(0, Z - 1);
    const int samples = mesh.getNumOfTris() > 20000 ? 12 : 40;
    for (int s = 0; s < samples; ++s)
    {
        const int x = pickX(random), y = pickY(random), z = pickZ(random);
        const double w = meshcheck::windingNumber(mesh, (x + 0.5) * dx, (y + 0.5) * dy, (z + 0.5) * dz);
        EXPECT_NEAR(w, volume.at(x, y, z) == 1 ? 1.0 : 0.0, 1e-6) << x << "," << y << "," << z;
    }

    vctl::MCTriS again;
    ASSERT_TRUE(extract(again, volume, 1, dx, dy, dz));
    EXPECT_EQ(fingerprint(again), fingerprint(mesh)); // identical run to run
}

std::vector<CRandomCase> randomCases()
{
    std::vector<CRandomCase> cases;
    int seed = 1;
    for (double density : {0.05, 0.2, 0.5, 0.8, 0.95})
        for (bool clearBorder : {false, true})
            for (int repeat = 0; repeat < 6; ++repeat)
                cases.push_back({seed++, density, clearBorder});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Volumes, MarchingCubesRandom, ::testing::ValuesIn(randomCases()),
                         [](const ::testing::TestParamInfo<CRandomCase>& param) {
                             return "seed" + std::to_string(param.param.seed) + "_density" +
                                    std::to_string(static_cast<int>(param.param.density * 100)) +
                                    (param.param.clearBorder ? "_inner" : "_touching");
                         });

// Case triangles are added without looking for an equal triangle: that is safe because no
// case triangle has all three vertices on the edges of one face, where the cube next to
// it (or a patch) could make the same triangle.
TEST(MarchingCubesTable, NoCaseTriangleLiesInOneFace)
{
    const int faces[6][4] = {{0, 1, 2, 3}, {8, 9, 10, 11}, {0, 4, 8, 5}, {2, 6, 10, 7}, {3, 7, 11, 4}, {1, 5, 9, 6}};
    for (int code = 0; code < 256; ++code)
        for (const auto& tri : row(code))
            for (const auto& face : faces)
            {
                const auto onFace = [&](int edge) { return std::find(std::begin(face), std::end(face), edge) != std::end(face); };
                EXPECT_FALSE(onFace(tri[0]) && onFace(tri[1]) && onFace(tri[2])) << "code " << code;
            }
}

//! Sets the process-wide memory limit for one scope and puts the previous setting back.
class CMemoryLimitScope
{
public:
    explicit CMemoryLimitScope(std::uint64_t bytes)
    {
        if (const char* text = std::getenv("VELMORA_MAX_MEMORY"))
            m_previous = text;
        kvo::sys::setMemoryLimit(bytes);
    }
    ~CMemoryLimitScope()
    {
        if (m_previous)
            setenv("VELMORA_MAX_MEMORY", m_previous->c_str(), 1);
        else
            kvo::sys::setMemoryLimit(0);
    }

private:
    std::optional<std::string> m_previous;
};

// A noisy volume whose surface would pass the memory limit is refused before the mesh gets
// anything; the estimate holds the real mesh, and the same limit lets a small region pass.
TEST(MarchingCubes, MemoryLimitRefusesTheSurfaceBeforeBuilding)
{
    const int N = 40;
    tVolume volume = makeVolume(N, N, N);
    std::mt19937 random(99);
    for (int z = 0; z < N; ++z)
        for (int y = 0; y < N; ++y)
            for (int x = 0; x < N; ++x)
                volume.at(x, y, z) = static_cast<std::uint16_t>(random() % 2);
    volume.at(1, 1, 1) = 5; // a small region beside the noise

    const std::uint64_t vertices = CMarchingCubes::countBoundaryEdges(N, N, N, 1, volume);
    const std::uint64_t estimate = CMarchingCubes::estimateMeshBytes(vertices);
    {
        vctl::MCTriS unlimited;
        ASSERT_TRUE(extract(unlimited, volume, 1));
        const vctl::MCArena& arena = unlimited.getVertices().getArena();
        const std::uint64_t used = arena.getLiveCount(vctl::MCArena::KIND_VERTEX) * sizeof(vctl::MCVertex) +
                                   arena.getLiveCount(vctl::MCArena::KIND_TRI) * sizeof(vctl::MCTri);
        EXPECT_EQ(std::uint64_t(unlimited.getNumOfVertices()), vertices);
        EXPECT_LE(used, estimate);
        EXPECT_GE(used, estimate / 2);
    }

    CMemoryLimitScope limit(estimate / 2);
    vctl::MCTriS mesh;
    try
    {
        extract(mesh, volume, 1);
        FAIL() << "the surface was built past the limit";
    }
    catch (const kvo::sys::CMemoryLimitExceeded& error)
    {
        EXPECT_EQ(std::string(error.what()).rfind("The surface mesh needs ", 0), 0u) << error.what();
    }
    EXPECT_EQ(mesh.getNumOfTris(), 0);
    EXPECT_EQ(mesh.getNumOfVertices(), 0);
    EXPECT_EQ(mesh.getVertices().getArena().getBytes(), 0u); // nothing was allocated

    vctl::MCTriS small;
    ASSERT_TRUE(extract(small, volume, 5));
    EXPECT_EQ(small.getNumOfTris(), 8);

    // Below what a vertex on every cube edge would take, but above the estimate: counted
    // and built.
    CMemoryLimitScope enough(estimate + estimate / 4 + 4 * vctl::MCArena::BLOCK_SIZE);
    ASSERT_LT(estimate + estimate / 4 + 4 * vctl::MCArena::BLOCK_SIZE, CMarchingCubes::estimateMeshBytes(3 * 41 * 41 * 41));
    vctl::MCTriS counted;
    ASSERT_TRUE(extract(counted, volume, 1));
    EXPECT_EQ(std::uint64_t(counted.getNumOfVertices()), vertices);
}

} // namespace
