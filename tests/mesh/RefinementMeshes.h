#pragma once
// Meshes and checks for the tests of the mesh refinement steps: surfaces of random label
// volumes, a cube whose faces are fine grids, the whole state of a mesh for before/after
// comparisons, and the Euler characteristic of every piece.

#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "tests/mesh/MeshChecks.h"
#include "vctl/MCTriS.h"

#include <array>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace refinetest {

//! The surface of label 1 of a random volume: blobs grown from `seeds` random voxels.
inline std::unique_ptr<vctl::MCTriS> randomSurface(unsigned seed, int size = 14, int seeds = 6, int growth = 3)
{
    std::mt19937 random(seed);
    CMarchingCubes::tRegionVolume labels(size, size, size);
    for (int z = 0; z < size; ++z)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                labels.at(x, y, z) = 0;
    std::uniform_int_distribution<int> place(1, size - 2);
    std::uniform_int_distribution<int> radius(0, growth);
    for (int s = 0; s < seeds; ++s)
    {
        const int cx = place(random), cy = place(random), cz = place(random);
        const int r = radius(random);
        for (int z = cz - r; z <= cz + r; ++z)
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x)
                    if (x >= 0 && y >= 0 && z >= 0 && x < size && y < size && z < size &&
                        (x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz) <= r * r + 1)
                        labels.at(x, y, z) = 1;
    }
    // Some lone voxels: small closed pieces.
    for (int s = 0; s < 3; ++s)
        labels.at(place(random), place(random), place(random)) = 1;
    auto mesh = std::make_unique<vctl::MCTriS>();
    CMarchingCubes extractor;
    extractor.setDimensions(size, size, size);
    extractor.setVoxelSize(1.0, 1.0, 1.0);
    extractor.extract(mesh.get(), 1, labels);
    return mesh;
}

//! A cube [0, n]^3 whose faces are n × n grids of unit squares, two triangles each,
//! counter-clockwise seen from outside.
inline std::unique_ptr<vctl::MCTriS> gridCube(int n)
{
    auto mesh = std::make_unique<vctl::MCTriS>();
    std::map<std::array<int, 3>, vctl::MCVertex*> vertices;
    const auto vertex = [&](std::array<int, 3> p) {
        auto& v = vertices[p];
        if (!v)
            v = mesh->getVertices().addVertex(p[0], p[1], p[2]);
        return v;
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
        {
            const int u = (axis + 1) % 3, w = (axis + 2) % 3;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                {
                    std::array<int, 3> c[4];
                    const int corners[4][2] = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
                    for (int k = 0; k < 4; ++k)
                    {
                        c[k][axis] = side * n;
                        c[k][u] = corners[k][0];
                        c[k][w] = corners[k][1];
                    }
                    // (u, w, axis) is right-handed: counter-clockwise in (u, w) faces +axis.
                    if (side == 1)
                    {
                        mesh->addTri(vertex(c[0]), vertex(c[1]), vertex(c[2]));
                        mesh->addTri(vertex(c[0]), vertex(c[2]), vertex(c[3]));
                    }
                    else
                    {
                        mesh->addTri(vertex(c[0]), vertex(c[2]), vertex(c[1]));
                        mesh->addTri(vertex(c[0]), vertex(c[3]), vertex(c[2]));
                    }
                }
        }
    return mesh;
}

//! Everything a refinement step may change: vertex positions in list order, triangles as
//! vertex numbers in list order, and each vertex's triangle list as triangle numbers.
struct CMeshState
{
    std::vector<std::array<double, 3>> positions;
    std::vector<std::array<int, 3>> triangles;
    std::vector<std::vector<int>> around;
    bool operator==(const CMeshState&) const = default;
};

inline CMeshState stateOf(const vctl::MCTriS& mesh)
{
    CMeshState state;
    std::map<const vctl::MCVertex*, int> vertexNumber;
    std::map<const vctl::MCTri*, int> triNumber;
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        vertexNumber[v] = static_cast<int>(state.positions.size());
        state.positions.push_back({v->getX(), v->getY(), v->getZ()});
    }
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
    {
        triNumber[t] = static_cast<int>(state.triangles.size());
        state.triangles.push_back({vertexNumber.at(t->getVertex(0)), vertexNumber.at(t->getVertex(1)),
                                   vertexNumber.at(t->getVertex(2))});
    }
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        state.around.emplace_back();
        for (const vctl::MCTri* t : vctl::triangles(v))
            state.around.back().push_back(triNumber.at(t));
    }
    return state;
}

//! Closed, 2-manifold, consistently oriented, no duplicate vertices, every piece enclosing
//! a positive volume (normals outward); empty when all holds, else the first fault.
inline std::string surfaceFault(const vctl::MCTriS& mesh)
{
    const meshcheck::CSurfaceReport report = meshcheck::examine(mesh);
    if (!report.problem.empty())
        return report.problem;
    for (double volume : report.componentVolumes)
        if (!(volume > 0.0))
            return "a piece encloses volume " + std::to_string(volume);
    // Unused vertices are no part of a surface.
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        if (!v->getTriList())
            return "vertex without triangles";
    return {};
}

//! V - E + F of every connected piece, sorted.
inline std::multiset<int> eulerByPiece(const vctl::MCTriS& mesh)
{
    std::map<const vctl::MCVertex*, int> number;
    std::vector<const vctl::MCVertex*> vertices;
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        number[v] = static_cast<int>(vertices.size());
        vertices.push_back(v);
    }
    std::vector<int> parent(vertices.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int x) {
        while (parent[x] != x)
            x = parent[x] = parent[parent[x]];
        return x;
    };
    std::set<std::pair<int, int>> edges;
    std::vector<std::array<int, 3>> tris;
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
    {
        std::array<int, 3> c{number.at(t->getVertex(0)), number.at(t->getVertex(1)), number.at(t->getVertex(2))};
        tris.push_back(c);
        for (int i = 0; i < 3; ++i)
        {
            const int a = c[i], b = c[(i + 1) % 3];
            edges.insert({std::min(a, b), std::max(a, b)});
            parent[find(a)] = find(b);
        }
    }
    std::map<int, int> euler;
    for (std::size_t v = 0; v < vertices.size(); ++v)
        ++euler[find(static_cast<int>(v))];
    for (const auto& e : edges)
        --euler[find(e.first)];
    for (const auto& t : tris)
        ++euler[find(t[0])];
    std::multiset<int> result;
    for (const auto& piece : euler)
        result.insert(piece.second);
    return result;
}

} // namespace refinetest
