#include "plugins/ostrum/mesh/CSmallAreaReduction.h"
#include "tests/mesh/RefinementMeshes.h"

#include <gtest/gtest.h>

#include <map>
#include <numeric>

namespace {

// A strip of n triangles joined edge to edge, along two rows of vertices at height z.
void addStrip(vctl::MCTriS& mesh, int n, double z)
{
    std::vector<vctl::MCVertex*> low, high;
    for (int i = 0; i <= n / 2 + 1; ++i)
    {
        low.push_back(mesh.getVertices().addVertex(i, 0, z));
        high.push_back(mesh.getVertices().addVertex(i, 1, z));
    }
    for (int t = 0; t < n; ++t)
    {
        const int i = t / 2;
        if (t % 2 == 0)
            mesh.addTri(low[i], low[i + 1], high[i]);
        else
            mesh.addTri(low[i + 1], high[i + 1], high[i]);
    }
}

// Sizes of the triangle-connected pieces by a plain union-find over shared edges.
std::vector<int> pieceSizes(const vctl::MCTriS& mesh)
{
    std::vector<const vctl::MCTri*> tris;
    for (const vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        tris.push_back(t);
    std::vector<int> parent(tris.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto find = [&](int x) {
        while (parent[x] != x)
            x = parent[x] = parent[parent[x]];
        return x;
    };
    std::map<std::pair<const void*, const void*>, int> firstUser;
    for (int i = 0; i < static_cast<int>(tris.size()); ++i)
        for (int c = 0; c < 3; ++c)
        {
            const void* a = tris[i]->getVertex(c);
            const void* b = tris[i]->getVertex((c + 1) % 3);
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            const auto [it, fresh] = firstUser.emplace(key, i);
            if (!fresh)
                parent[find(i)] = find(it->second);
        }
    std::map<int, int> sizes;
    for (int i = 0; i < static_cast<int>(tris.size()); ++i)
        ++sizes[find(i)];
    std::vector<int> result;
    for (const auto& piece : sizes)
        result.push_back(piece.second);
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace

TEST(SmallAreaReduction, PiecesOfAtMostTheThresholdGo)
{
    struct CCase
    {
        long threshold;
        std::vector<int> pieces, kept;
    };
    const std::vector<CCase> cases = {
        {500, {500, 501, 1}, {501}},
        {500, {499, 2000}, {2000}},
        {0, {1, 2, 3}, {1, 2, 3}},
        {-4, {1, 7}, {1, 7}},
        {1, {1, 1, 2, 5}, {2, 5}},
        {2, {1, 2, 3}, {3}},
        {10, {3, 4}, {}},
    };
    for (const CCase& c : cases)
    {
        vctl::MCTriS mesh;
        for (std::size_t p = 0; p < c.pieces.size(); ++p)
            addStrip(mesh, c.pieces[p], 10.0 * static_cast<double>(p));
        ASSERT_EQ(pieceSizes(mesh), [&] { auto s = c.pieces; std::sort(s.begin(), s.end()); return s; }());
        EXPECT_TRUE(CSmallAreaReduction().reduce(mesh, c.threshold));
        EXPECT_EQ(pieceSizes(mesh), c.kept) << "threshold " << c.threshold;
        // Exactly the vertices of the kept strips stay (a strip of n uses n + 2).
        for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
            EXPECT_NE(v->getTriList(), nullptr);
        EXPECT_EQ(mesh.getNumOfVertices(), [&] {
            int used = 0;
            for (int n : c.kept)
                used += n + 2;
            return used;
        }());
    }
}

TEST(SmallAreaReduction, RandomSurfacesAgreeWithPlainComponentCount)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
    {
        auto mesh = refinetest::randomSurface(seed);
        const std::vector<int> before = pieceSizes(*mesh);
        for (long threshold : {0L, 8L, 50L, 400L})
        {
            auto copy = refinetest::randomSurface(seed);
            ASSERT_TRUE(CSmallAreaReduction().reduce(*copy, threshold));
            std::vector<int> expected;
            for (int n : before)
                if (n > threshold)
                    expected.push_back(n);
            EXPECT_EQ(pieceSizes(*copy), expected) << "seed " << seed << " threshold " << threshold;
            EXPECT_EQ(refinetest::surfaceFault(*copy), "") << "seed " << seed;
        }
    }
}
