#pragma once
// Checks of extracted surfaces shared by the marching cubes tests and the benchmark tools:
// closedness, orientation, duplicate vertices, enclosed volume and winding numbers.

#include "vctl/MCTriS.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace meshcheck {

struct CSurfaceReport
{
    std::string problem;                  //!< empty when closed, manifold and oriented
    std::vector<double> componentVolumes; //!< signed volume of each edge-connected component
    double totalVolume = 0.0;
};

inline double signedVolume(const vctl::MCTri* t)
{
    const vctl::MCVertex* a = t->getVertex(0);
    const vctl::MCVertex* b = t->getVertex(1);
    const vctl::MCVertex* c = t->getVertex(2);
    // a · (b × c) / 6: the divergence theorem over the tetrahedra from the origin.
    return (a->getX() * (b->getY() * c->getZ() - b->getZ() * c->getY()) -
            a->getY() * (b->getX() * c->getZ() - b->getZ() * c->getX()) +
            a->getZ() * (b->getX() * c->getY() - b->getY() * c->getX())) /
           6.0;
}

//! Every undirected edge in exactly two triangles, every directed edge once, no two
//! vertices at one position, incidence lists consistent; volumes per component.
inline CSurfaceReport examine(const vctl::MCTriS& mesh)
{
    CSurfaceReport report;
    std::vector<const vctl::MCTri*> tris;
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        tris.push_back(t);
    if (static_cast<int>(tris.size()) != mesh.getNumOfTris())
        report.problem = "triangle count differs from the list";

    std::map<std::pair<const void*, const void*>, int> directed;
    std::map<std::pair<const void*, const void*>, std::vector<int>> undirected;
    for (int i = 0; i < static_cast<int>(tris.size()); ++i)
    {
        for (int c = 0; c < 3; ++c)
        {
            const vctl::MCVertex* a = tris[i]->getVertex(c);
            const vctl::MCVertex* b = tris[i]->getVertex((c + 1) % 3);
            if (++directed[{a, b}] > 1 && report.problem.empty())
                report.problem = "directed edge used twice (inconsistent orientation)";
            undirected[{std::min<const void*>(a, b), std::max<const void*>(a, b)}].push_back(i);
        }
    }
    for (const auto& [edge, users] : undirected)
    {
        if (users.size() != 2 && report.problem.empty())
            report.problem = "edge in " + std::to_string(users.size()) + " triangles";
    }

    std::unordered_map<const vctl::MCVertex*, int> corners;
    for (const vctl::MCTri* t : tris)
        for (int c = 0; c < 3; ++c)
            ++corners[t->getVertex(c)];
    std::vector<std::array<double, 3>> positions;
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        positions.push_back({v->getX(), v->getY(), v->getZ()});
        const auto found = corners.find(v);
        const int expected = found == corners.end() ? 0 : found->second;
        if (static_cast<int>(vctl::triangles(v).size()) != expected && report.problem.empty())
            report.problem = "vertex triangle list inconsistent";
    }
    std::sort(positions.begin(), positions.end());
    if (std::adjacent_find(positions.begin(), positions.end()) != positions.end() && report.problem.empty())
        report.problem = "duplicate vertex";

    // Components through shared edges.
    std::vector<int> parent(tris.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int x) {
        while (parent[x] != x)
            x = parent[x] = parent[parent[x]];
        return x;
    };
    for (const auto& [edge, users] : undirected)
        for (std::size_t u = 1; u < users.size(); ++u)
            parent[find(users[u])] = find(users[0]);
    std::map<int, double> volumes;
    for (int i = 0; i < static_cast<int>(tris.size()); ++i)
    {
        const double v = signedVolume(tris[i]);
        volumes[find(i)] += v;
        report.totalVolume += v;
    }
    for (const auto& [root, volume] : volumes)
        report.componentVolumes.push_back(volume);
    return report;
}

//! Winding number of the closed surface around point p (solid angles, Van Oosterom and
//! Strackee): 1 inside, 0 outside for a correctly oriented closed surface.
inline double windingNumber(const vctl::MCTriS& mesh, double px, double py, double pz)
{
    double total = 0.0;
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
    {
        double r[3][3];
        double length[3];
        for (int c = 0; c < 3; ++c)
        {
            const vctl::MCVertex* v = t->getVertex(c);
            r[c][0] = v->getX() - px;
            r[c][1] = v->getY() - py;
            r[c][2] = v->getZ() - pz;
            length[c] = std::sqrt(r[c][0] * r[c][0] + r[c][1] * r[c][1] + r[c][2] * r[c][2]);
        }
        const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                           r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                           r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
        const auto dot = [&](int a, int b) { return r[a][0] * r[b][0] + r[a][1] * r[b][1] + r[a][2] * r[b][2]; };
        const double denominator = length[0] * length[1] * length[2] + dot(0, 1) * length[2] +
                                   dot(0, 2) * length[1] + dot(1, 2) * length[0];
        total += 2.0 * std::atan2(det, denominator);
    }
    return total / (4.0 * M_PI);
}

} // namespace meshcheck
