#include "toolkit/mod/CChannel.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <stdexcept>
#include <vector>

using namespace vctl;

namespace {

//! A tetrahedron with outward, counter-clockwise triangles.
struct CTetrahedron
{
    CTetrahedron()
    {
        MCVerticeS& vertices = mesh.getVertices();
        v[0] = vertices.addVertex(0, 0, 0);
        v[1] = vertices.addVertex(1, 0, 0);
        v[2] = vertices.addVertex(0, 1, 0);
        v[3] = vertices.addVertex(0, 0, 1);
        t[0] = mesh.addTri(v[0], v[2], v[1]);
        t[1] = mesh.addTri(v[0], v[1], v[3]);
        t[2] = mesh.addTri(v[0], v[3], v[2]);
        t[3] = mesh.addTri(v[1], v[2], v[3]);
    }
    MCTriS mesh;
    MCVertex* v[4];
    MCTri* t[4];
};

TEST(Mesh, AddTriFindsExistingTrianglesInAnyOrder)
{
    CTetrahedron tetra;
    EXPECT_EQ(tetra.mesh.getNumOfTris(), 4);
    EXPECT_EQ(tetra.mesh.getNumOfVertices(), 4);
    MCVertex** v = tetra.v;
    EXPECT_EQ(tetra.mesh.addTri(v[1], v[0], v[2]), tetra.t[0]);
    EXPECT_EQ(tetra.mesh.addTri(v[2], v[1], v[0]), tetra.t[0]);
    EXPECT_EQ(MCTriS::findTri(v[3], v[2], v[1]), tetra.t[3]);
    EXPECT_EQ(tetra.mesh.getNumOfTris(), 4);
    // Repeated vertices would link a vertex's list into itself.
    EXPECT_EQ(tetra.mesh.addTri(v[0], v[0], v[1]), nullptr);
    EXPECT_EQ(tetra.mesh.addTri(v[0], nullptr, v[1]), nullptr);
    EXPECT_EQ(tetra.mesh.getNumOfTris(), 4);
    // Fresh entities carry the documented initial values.
    EXPECT_EQ(tetra.t[0]->getTag(), -1);
    EXPECT_EQ(tetra.t[0]->getFlags(), 0);
    EXPECT_EQ(tetra.t[0]->getValue(), 0.0);
    EXPECT_EQ(tetra.v[0]->getHashKey(), 0);
    EXPECT_TRUE(tetra.t[1]->isEqual(*tetra.t[1]));
    EXPECT_FALSE(tetra.t[1]->isEqual(*tetra.t[2]));
}

TEST(Mesh, TriangleListsAndNeighbours)
{
    CTetrahedron tetra;
    // Most recently attached first.
    EXPECT_EQ(triangles(tetra.v[0]), (std::vector<MCTri*>{tetra.t[2], tetra.t[1], tetra.t[0]}));
    EXPECT_EQ(triangles(tetra.v[3]), (std::vector<MCTri*>{tetra.t[3], tetra.t[2], tetra.t[1]}));
    // Closed: every edge has a neighbour, sharing that edge.
    for (MCTri* tri : tetra.t)
    {
        for (int i = 0; i < 3; ++i)
        {
            MCTri* other = neighbour(tri, i);
            ASSERT_NE(other, nullptr);
            EXPECT_NE(other, tri);
            EXPECT_TRUE(other->contains(tri->getVertex(i)));
            EXPECT_TRUE(other->contains(tri->getVertex((i + 1) % 3)));
        }
    }
    EXPECT_EQ(tetra.t[0]->getCornerIndex(tetra.v[1]), 2);
    EXPECT_EQ(tetra.t[0]->getCornerIndex(tetra.v[3]), -1);
    EXPECT_EQ(tetra.t[0]->getFollowing(1), tetra.v[1]);
    EXPECT_EQ(tetra.t[0]->getPreceding(1), tetra.v[0]);

    // An open border: removing one face leaves its neighbours without a partner there.
    tetra.mesh.removeTri(tetra.t[3]);
    EXPECT_EQ(neighbour(tetra.t[1], 1), nullptr); // edge v1-v3
    EXPECT_EQ(neighbour(tetra.t[1], 0), tetra.t[0]);
}

TEST(Mesh, RemoveTriSplicesEveryVertexList)
{
    CTetrahedron tetra;
    MCVertex** v = tetra.v;
    // t[3] heads the lists of v1, v2 and v3.
    ASSERT_EQ(v[1]->getTriList(), tetra.t[3]);
    tetra.mesh.removeTri(tetra.t[3]);
    EXPECT_EQ(tetra.mesh.getNumOfTris(), 3);
    EXPECT_EQ(triangles(v[1]), (std::vector<MCTri*>{tetra.t[1], tetra.t[0]}));
    EXPECT_EQ(triangles(v[2]), (std::vector<MCTri*>{tetra.t[2], tetra.t[0]}));
    EXPECT_EQ(triangles(v[3]), (std::vector<MCTri*>{tetra.t[2], tetra.t[1]}));
    // A triangle in the middle of a list.
    tetra.mesh.removeTri(tetra.t[1]);
    EXPECT_EQ(triangles(v[0]), (std::vector<MCTri*>{tetra.t[2], tetra.t[0]}));
    EXPECT_EQ(triangles(v[1]), (std::vector<MCTri*>{tetra.t[0]}));
    EXPECT_EQ(tetra.mesh.getFirst(), tetra.t[0]);
    EXPECT_EQ(tetra.mesh.getLast(), tetra.t[2]);

    tetra.mesh.removeTri(tetra.t[0]);
    tetra.mesh.removeTri(tetra.t[2]);
    EXPECT_EQ(tetra.mesh.getNumOfVertices(), 4); // vertices stay
    tetra.mesh.getVertices().removeUnusedVertices();
    EXPECT_EQ(tetra.mesh.getNumOfVertices(), 0);
    EXPECT_EQ(tetra.mesh.getVertices().getFirst(), nullptr);
}

TEST(Mesh, RemoveUnusedVerticesKeepsUsedOnes)
{
    CTetrahedron tetra;
    MCVertex* lonely = tetra.mesh.getVertices().addVertex(5, 5, 5);
    MCVertex* linked = tetra.mesh.getVertices().addVertex(6, 6, 6);
    int anything = 0;
    linked->setUserLink(&anything);
    tetra.mesh.getVertices().removeUnusedVertices();
    EXPECT_EQ(tetra.mesh.getNumOfVertices(), 5);
    EXPECT_EQ(tetra.mesh.getVertices().getLast(), linked);
    (void)lonely;
}

TEST(Mesh, BuildEdgesOncePerVertexPair)
{
    CTetrahedron tetra;
    tetra.mesh.buildEdges();
    tetra.mesh.buildEdges();
    EXPECT_EQ(tetra.mesh.getEdges().getCount(), 6);
    for (MCVertex* vertex : tetra.v)
    {
        int count = 0;
        for (MCEdge* edge = vertex->getEdgeList(); edge; edge = edge->getNextAround(vertex))
            ++count;
        EXPECT_EQ(count, 3);
    }
    EXPECT_NE(MCEdgeS::findEdge(tetra.v[3], tetra.v[0]), nullptr);
    // Clearing triangles and edges resets the vertices' links, so every vertex is unused.
    tetra.mesh.getEdges().clear();
    tetra.mesh.clear();
    EXPECT_EQ(tetra.mesh.getNumOfTris(), 0);
    for (MCVertex* vertex : tetra.v)
        EXPECT_TRUE(vertex->isUnused());
}

TEST(Mesh, NormalsAreUnitOrZero)
{
    CTetrahedron tetra;
    const auto n = normal(tetra.t[0]); // in the z = 0 plane, facing down
    EXPECT_DOUBLE_EQ(n.getX(), 0.0);
    EXPECT_DOUBLE_EQ(n.getY(), 0.0);
    EXPECT_DOUBLE_EQ(n.getZ(), -1.0);
    const auto slanted = normal(tetra.t[3]);
    EXPECT_NEAR(slanted.getX(), 1 / std::sqrt(3.0), 1e-12);
    EXPECT_NEAR(slanted.getZ(), 1 / std::sqrt(3.0), 1e-12);

    MCTriS mesh;
    MCVertex* a = mesh.getVertices().addVertex(0, 0, 0);
    MCVertex* b = mesh.getVertices().addVertex(1, 1, 1);
    MCVertex* c = mesh.getVertices().addVertex(2, 2, 2);
    const auto zero = normal(mesh.addTri(a, b, c));
    EXPECT_EQ(zero.getX(), 0.0);
    EXPECT_EQ(zero.getY(), 0.0);
    EXPECT_EQ(zero.getZ(), 0.0);
}

TEST(Mesh, MergingVertexContainer)
{
    MCVerticeS merging(true);
    MCVertex* a = merging.addVertex(1.5, -2.25, 3.0);
    EXPECT_EQ(merging.addVertex(1.5 + 1e-12, -2.25, 3.0), a);
    EXPECT_EQ(a->getHashKey(), MCVerticeS::hashKey(1.5, -2.25, 3.0));
    MCVertex* b = merging.addVertex(1.5 + 1e-6, -2.25, 3.0);
    EXPECT_NE(b, a);
    EXPECT_EQ(merging.getCount(), 2);
    EXPECT_EQ(MCVerticeS::hashKey(0, 0, 0), 0);
    // Folding of 1.0 alone: bytes 00 .. 00 CD CD 41 of 1e9 (0x41CDCD6500000000) in x.
    std::uint32_t h = 0;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(1e9);
    for (int i = 0; i < 24; ++i)
    {
        const std::int8_t byte = i < 8 ? static_cast<std::int8_t>((bits >> (8 * i)) & 0xFF) : 0;
        h = static_cast<std::uint32_t>(static_cast<std::int32_t>(byte)) ^ (h & 0xFC000000u) ^ (h << 6);
    }
    EXPECT_EQ(MCVerticeS::hashKey(1.0, 0, 0), static_cast<std::int32_t>(h));
    // Unused merged vertices leave the look-up too.
    merging.removeUnusedVertices();
    EXPECT_EQ(merging.getCount(), 0);
    EXPECT_NE(merging.addVertex(1.5, -2.25, 3.0), nullptr);
    EXPECT_EQ(merging.getCount(), 1);

    MCVerticeS plain(false);
    EXPECT_NE(plain.addVertex(1, 2, 3), plain.addVertex(1, 2, 3));
}

TEST(Mesh, KeyedQueue)
{
    CTetrahedron tetra;
    tetra.mesh.queueRemove(1.0, tetra.t[0]); // empty queue: nothing
    tetra.mesh.queueInsert(2.0, tetra.t[0]);
    tetra.mesh.queueInsert(1.0, tetra.t[1]);
    tetra.mesh.queueInsert(2.0, tetra.t[2]);
    EXPECT_EQ(tetra.mesh.getQueue().begin()->second, tetra.t[1]);
    tetra.mesh.queueRemove(2.0, tetra.t[2]);
    EXPECT_EQ(tetra.mesh.getQueue().size(), 2u);
    try
    {
        tetra.mesh.queueRemove(1.0, tetra.t[0]);
        FAIL() << "a pair that is not queued must be refused";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_STREQ(error.what(), "Chyba mazani entity podle klice z fronty, neni ve fronte");
    }
    tetra.mesh.clear();
    EXPECT_TRUE(tetra.mesh.getQueue().empty());
}

TEST(Mesh, Descriptions)
{
    CTetrahedron tetra;
    EXPECT_EQ(tetra.v[1]->toString().rfind("Vertex ", 0), 0u);
    EXPECT_NE(tetra.v[1]->toString().find(" : 1 / 0 / 0"), std::string::npos);
    EXPECT_EQ(tetra.t[0]->toString().rfind("Tri ", 0), 0u);
    tetra.mesh.buildEdges();
    EXPECT_EQ(tetra.mesh.getEdges().getFirst()->toString().rfind("Edge ", 0), 0u);
}

//! Output channel collecting bytes; it can refuse the n-th write or be unconnected.
class CCollectingChannel : public kvo::mod::CChannel
{
public:
    CCollectingChannel() : CChannel(CH_OUT) {}
    bool waitForConnection(unsigned) override { return connected; }
    bool connect(unsigned) override { return connected; }
    void disconnect() override {}
    bool isConnected() override { return connected; }
    bool waitForData(unsigned) override { return false; }
    std::int32_t read(char*, std::int32_t) override { return 0; }
    bool write(const char* data, std::int32_t length) override
    {
        if (writes++ == refuseWrite)
            return false;
        bytes.insert(bytes.end(), data, data + length);
        return true;
    }
    bool flush() override { return true; }

    std::vector<char> bytes;
    bool connected = true;
    int writes = 0;
    int refuseWrite = -1;
};

float floatAt(const std::vector<char>& bytes, std::size_t offset)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    return std::bit_cast<float>(bits);
}

TEST(SaveSTL, LayoutOfOneTriangle)
{
    MCTriS mesh;
    MCVertex* a = mesh.getVertices().addVertex(0.1, 0, 0);
    MCVertex* b = mesh.getVertices().addVertex(2.1, 0, 0);
    MCVertex* c = mesh.getVertices().addVertex(0.1, 2, 0);
    mesh.addTri(a, b, c);
    CCollectingChannel channel;
    ASSERT_TRUE(mesh.saveSTL(channel));
    ASSERT_EQ(channel.bytes.size(), 134u);
    EXPECT_EQ(std::string(channel.bytes.data(), 80),
              "Binary STL file created by conversion of TRI file format, Kvorn::Gravonelle libr");
    EXPECT_EQ(channel.bytes[80], 1);
    EXPECT_EQ(channel.bytes[81] | channel.bytes[82] | channel.bytes[83], 0);
    EXPECT_EQ(floatAt(channel.bytes, 84 + 8), 1.0f); // normal +z
    EXPECT_EQ(floatAt(channel.bytes, 96), 0.1f);
    EXPECT_EQ(floatAt(channel.bytes, 108), 2.1f);
    EXPECT_EQ(floatAt(channel.bytes, 124), 2.0f);
    EXPECT_EQ(channel.bytes[132] | channel.bytes[133], 0);
    // Normal, three vertices and the attribute: five writes per triangle after two.
    EXPECT_EQ(channel.writes, 7);
}

TEST(SaveSTL, EmptyDegenerateAndFailures)
{
    MCTriS mesh;
    CCollectingChannel empty;
    ASSERT_TRUE(mesh.saveSTL(empty));
    EXPECT_EQ(empty.bytes.size(), 84u);
    EXPECT_EQ(empty.bytes[80], 0);

    MCVertex* a = mesh.getVertices().addVertex(0, 0, 0);
    MCVertex* b = mesh.getVertices().addVertex(1, 0, 0);
    MCVertex* c = mesh.getVertices().addVertex(2, 0, 0);
    mesh.addTri(a, b, c);
    CCollectingChannel degenerate;
    ASSERT_TRUE(mesh.saveSTL(degenerate));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(floatAt(degenerate.bytes, 84 + 4 * i), 0.0f);

    CCollectingChannel unconnected;
    unconnected.connected = false;
    EXPECT_FALSE(mesh.saveSTL(unconnected));
    EXPECT_TRUE(unconnected.bytes.empty());

    CCollectingChannel refusing;
    refusing.refuseWrite = 3; // the first vertex of the first record
    EXPECT_FALSE(mesh.saveSTL(refusing));
    EXPECT_EQ(refusing.bytes.size(), 96u);
    EXPECT_EQ(refusing.writes, 4);
}

} // namespace
