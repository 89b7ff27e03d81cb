// The mesh's arena: entities linked by handles behave as the pointer lists they replace
// (checked against a plain model over random edits spanning many blocks), entities of two
// meshes are never linked, freed rooms are reused, and the memory limit holds.

#include "toolkit/sys/MemoryLimit.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vctl;

namespace {

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

// The memory per triangle of a closed surface (about half a vertex per triangle) rests on
// these sizes.
static_assert(sizeof(MCTri) <= 52 && sizeof(MCVertex) <= 80 && sizeof(MCEdge) <= 44);

//! A plain model of a mesh: triangles in list order as vertex numbers, and each vertex's
//! triangles most recent first.
struct CModelMesh
{
    struct CTri
    {
        int v[3];
        MCTri* entity;
    };
    std::vector<MCVertex*> vertices; // list order
    std::vector<CTri> tris;          // list order
    std::map<const MCVertex*, std::vector<MCTri*>> around;
    std::map<std::set<int>, MCTri*> byCorners;
};

//! The mesh equals the model: lists, counts, every vertex's triangles, neighbours, and
//! distinct vertex slots below the bound.
void expectSame(const MCTriS& mesh, const CModelMesh& model, const std::map<const MCVertex*, int>& number)
{
    ASSERT_EQ(mesh.getNumOfTris(), static_cast<int>(model.tris.size()));
    ASSERT_EQ(mesh.getNumOfVertices(), static_cast<int>(model.vertices.size()));
    std::size_t i = 0;
    for (const MCTri* t = mesh.getFirst(); t; t = t->getNext(), ++i)
    {
        ASSERT_LT(i, model.tris.size());
        ASSERT_EQ(t, model.tris[i].entity);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(number.at(t->getVertex(c)), model.tris[i].v[c]);
        if (i > 0)
        {
            ASSERT_EQ(t->getPrev(), model.tris[i - 1].entity);
        }
    }
    EXPECT_EQ(mesh.getLast(), model.tris.empty() ? nullptr : model.tris.back().entity);
    std::set<std::uint32_t> slots;
    i = 0;
    for (const MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext(), ++i)
    {
        ASSERT_EQ(v, model.vertices[i]);
        const auto found = model.around.find(v);
        const std::vector<MCTri*> expected = found == model.around.end() ? std::vector<MCTri*>{} : found->second;
        ASSERT_EQ(triangles(v), expected);
        const std::uint32_t slot = MCVerticeS::getSlot(v);
        EXPECT_LT(slot, mesh.getVertices().getSlotBound());
        EXPECT_TRUE(slots.insert(slot).second);
    }
    // neighbour(t, i): the first other triangle in vertex i's list holding vertex i + 1.
    for (std::size_t k = 0; k < model.tris.size(); k += 7)
    {
        const CModelMesh::CTri& tri = model.tris[k];
        for (int c = 0; c < 3; ++c)
        {
            MCTri* expected = nullptr;
            for (MCTri* other : model.around.at(tri.entity->getVertex(c)))
                if (other != tri.entity && other->contains(tri.entity->getVertex((c + 1) % 3)))
                {
                    expected = other;
                    break;
                }
            ASSERT_EQ(neighbour(tri.entity, c), expected);
        }
    }
}

// Random additions and removals of vertices and triangles, far beyond one block of each
// kind, against the model; edges built and cleared in between.
TEST(MeshArena, RandomEditsMatchThePlainModel)
{
    std::mt19937 random(2024);
    MCTriS mesh;
    CModelMesh model;
    std::map<const MCVertex*, int> number;
    int nextNumber = 0;
    const auto addVertex = [&] {
        MCVertex* v = mesh.getVertices().addVertex(random() % 1000, random() % 1000, random() % 1000);
        model.vertices.push_back(v);
        number[v] = nextNumber++;
    };
    for (int round = 0; round < 6; ++round)
    {
        const int additions = round == 2 ? 100000 : 3000; // round 2 fills many blocks
        // Round 2 also adds vertices that stay unused, so that the block table grows.
        for (int i = 0; i < additions / 2 + (round == 2 ? 30000 : 0); ++i)
            addVertex();
        for (int i = 0; i < additions; ++i)
        {
            std::uniform_int_distribution<std::size_t> pick(0, model.vertices.size() - 1);
            // Mostly among recent vertices, so that repeated triangles occur.
            const std::size_t base = model.vertices.size() > 40 ? model.vertices.size() - 40 : 0;
            std::uniform_int_distribution<std::size_t> recent(base, model.vertices.size() - 1);
            MCVertex* v[3];
            for (MCVertex*& corner : v)
                corner = model.vertices[i % 5 == 0 ? pick(random) : recent(random)];
            MCTri* added = mesh.addTri(v[0], v[1], v[2]);
            if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2])
            {
                ASSERT_EQ(added, nullptr);
                continue;
            }
            const std::set<int> corners{number[v[0]], number[v[1]], number[v[2]]};
            if (const auto existing = model.byCorners.find(corners); existing != model.byCorners.end())
            {
                ASSERT_EQ(added, existing->second);
                continue;
            }
            ASSERT_NE(added, nullptr);
            model.byCorners[corners] = added;
            EXPECT_EQ(added->getTag(), -1);
            EXPECT_EQ(added->getValue(), 0.0);
            EXPECT_EQ(added->getFlags(), 0);
            model.tris.push_back({{number[v[0]], number[v[1]], number[v[2]]}, added});
            for (MCVertex* corner : v)
            {
                auto& list = model.around[corner];
                list.insert(list.begin(), added);
            }
            added->setValue(0.25 * i); // the free fields hold what they are given
            added->setTag(i);
        }
        // Remove about a third of the triangles, then the unused vertices.
        std::set<MCTri*> removed;
        for (const auto& tri : model.tris)
        {
            if (random() % 3 != 0)
                continue;
            MCTri* t = tri.entity;
            for (int c = 0; c < 3; ++c)
            {
                auto& list = model.around[t->getVertex(c)];
                list.erase(std::find(list.begin(), list.end(), t));
            }
            model.byCorners.erase(std::set<int>{tri.v[0], tri.v[1], tri.v[2]});
            mesh.removeTri(t);
            removed.insert(t);
        }
        std::erase_if(model.tris, [&](const CModelMesh::CTri& tri) { return removed.count(tri.entity) > 0; });
        for (const auto& tri : model.tris)
            ASSERT_EQ(tri.entity->getValue(), 0.25 * tri.entity->getTag());
        mesh.getVertices().removeUnusedVertices();
        std::erase_if(model.vertices, [&](MCVertex* v) {
            const auto found = model.around.find(v);
            return found == model.around.end() || found->second.empty();
        });
        expectSame(mesh, model, number);
        if (HasFatalFailure())
            return;

        // Edges: one per vertex pair of a triangle, in every end's list.
        mesh.buildEdges();
        std::set<std::pair<int, int>> pairs;
        for (const auto& tri : model.tris)
            for (int c = 0; c < 3; ++c)
                pairs.insert(std::minmax(tri.v[c], tri.v[(c + 1) % 3]));
        ASSERT_EQ(mesh.getEdges().getCount(), static_cast<int>(pairs.size()));
        std::size_t inLists = 0;
        for (MCVertex* v : model.vertices)
            for (MCEdge* e = v->getEdgeList(); e; e = e->getNextAround(v))
            {
                ++inLists;
                ASSERT_TRUE(e->getVertex(0) == v || e->getVertex(1) == v);
                ASSERT_EQ(MCEdgeS::findEdge(e->getVertex(0), e->getVertex(1)), e);
            }
        EXPECT_EQ(inLists, 2 * pairs.size());
        mesh.getEdges().clear();
    }
    // Rooms of removed entities are reused: the arena holds no more than the live entities
    // need, plus the free rooms of the last round and one partly used block of each kind.
    const MCArena& arena = mesh.getVertices().getArena();
    EXPECT_EQ(arena.getLiveCount(MCArena::KIND_TRI), model.tris.size());
    EXPECT_EQ(arena.getLiveCount(MCArena::KIND_EDGE), 0u);
    EXPECT_GT(arena.getBytes(), 4 * MCArena::BLOCK_SIZE); // the block table grew
}

TEST(MeshArena, FreedRoomsAreReusedAndSlotsStayBelowTheBound)
{
    MCTriS mesh;
    MCVerticeS& vertices = mesh.getVertices();
    std::vector<MCVertex*> made;
    for (int i = 0; i < 30000; ++i) // beyond one block of vertices
        made.push_back(vertices.addVertex(i, 0, 0));
    const std::uint64_t bytes = vertices.getArena().getBytes();
    const std::uint32_t bound = vertices.getSlotBound();
    EXPECT_GE(bound, 30000u);
    vertices.removeUnusedVertices();
    EXPECT_EQ(vertices.getCount(), 0);
    for (int i = 0; i < 30000; ++i)
        vertices.addVertex(0, i, 0);
    EXPECT_EQ(vertices.getArena().getBytes(), bytes); // no new block
    EXPECT_EQ(vertices.getSlotBound(), bound);
    std::set<MCVertex*> again;
    for (MCVertex* v = vertices.getFirst(); v; v = v->getNext())
    {
        again.insert(v);
        EXPECT_EQ(v->getIndex(), 0); // a reused room starts as new
        EXPECT_EQ(v->getTriList(), nullptr);
        EXPECT_EQ(v->getTag(), -1);
    }
    EXPECT_EQ(again, std::set<MCVertex*>(made.begin(), made.end()));
    mesh.clear();
    vertices.clear();
    EXPECT_EQ(vertices.getCount(), 0);
    EXPECT_EQ(vertices.getFirst(), nullptr);
}

// Entities of different meshes are never linked: the handle of one mesh means nothing in
// the other.
TEST(MeshArena, EntitiesOfAnotherMeshAreRefused)
{
    MCTriS first, second;
    MCVertex* a = first.getVertices().addVertex(0, 0, 0);
    MCVertex* b = first.getVertices().addVertex(1, 0, 0);
    MCVertex* c = first.getVertices().addVertex(0, 1, 0);
    MCVertex* foreign = second.getVertices().addVertex(0, 0, 1);
    MCVertex* d = second.getVertices().addVertex(1, 0, 1);
    MCVertex* e = second.getVertices().addVertex(0, 1, 1);
    EXPECT_EQ(first.addTri(a, b, foreign), nullptr);
    EXPECT_EQ(first.getNumOfTris(), 0);
    EXPECT_EQ(first.getEdges().addEdge(a, foreign), nullptr);
    EXPECT_EQ(first.getEdges().addEdge(a, a), nullptr); // would link a's list into a loop
    MCTri* t = first.addTri(a, b, c);
    MCTri* u = second.addTri(foreign, d, e);
    ASSERT_NE(t, nullptr);
    ASSERT_NE(u, nullptr);
    EXPECT_FALSE(t->contains(foreign));
    EXPECT_EQ(t->getCornerIndex(foreign), -1);
    EXPECT_EQ(t->isEqual(*u), 0);
    EXPECT_EQ(MCTriS::findTri(a, b, foreign), nullptr);
    EXPECT_THROW(t->setNext(u), std::invalid_argument);
    EXPECT_THROW(a->setTriList(u), std::invalid_argument);
    EXPECT_THROW(t->setVertex(0, foreign), std::invalid_argument);
    // The refused links left everything as it was.
    EXPECT_EQ(t->getNext(), nullptr);
    EXPECT_EQ(a->getTriList(), t);
    EXPECT_EQ(t->getVertex(0), a);
}

// Re-pointing a corner (as an edge collapse does) keeps the other links.
TEST(MeshArena, SetVertexRepointsOneCorner)
{
    MCTriS mesh;
    MCVerticeS& v = mesh.getVertices();
    MCVertex* p[4] = {v.addVertex(0, 0, 0), v.addVertex(1, 0, 0), v.addVertex(0, 1, 0), v.addVertex(0, 0, 1)};
    MCTri* t = mesh.addTri(p[0], p[1], p[2]);
    t->setVertex(2, p[3]);
    EXPECT_EQ(t->getVertex(2), p[3]);
    EXPECT_EQ(t->getCornerIndex(p[3]), 2);
    EXPECT_EQ(t->getCornerIndex(p[2]), -1);
    mesh.buildEdges();
    MCEdge* edge = MCEdgeS::findEdge(p[0], p[1]);
    ASSERT_NE(edge, nullptr);
    edge->setVertex(1, p[2]);
    EXPECT_TRUE(edge->joins(p[2], p[0]));
    EXPECT_FALSE(edge->joins(p[0], p[1]));
}

// A mesh never grows past the memory limit: the block that would pass it is refused with
// the limit's own message, and the mesh keeps what it had.
TEST(MeshArena, MemoryLimitStopsTheGrowth)
{
    CMemoryLimitScope limit(4 * MCArena::BLOCK_SIZE);
    MCTriS mesh;
    int added = 0;
    try
    {
        for (; added < 1000000; ++added)
        {
            MCVertex* a = mesh.getVertices().addVertex(added, 0, 0);
            MCVertex* b = mesh.getVertices().addVertex(added, 1, 0);
            MCVertex* c = mesh.getVertices().addVertex(added, 0, 1);
            mesh.addTri(a, b, c);
        }
        FAIL() << "the limit was not applied";
    }
    catch (const kvo::sys::CMemoryLimitExceeded& error)
    {
        EXPECT_NE(std::string(error.what()).find("The surface mesh needs"), std::string::npos) << error.what();
    }
    EXPECT_LE(mesh.getVertices().getArena().getBytes(), 4 * MCArena::BLOCK_SIZE);
    EXPECT_EQ(mesh.getNumOfTris(), added);
    EXPECT_GE(mesh.getNumOfVertices(), 3 * added);
    EXPECT_LE(mesh.getNumOfVertices(), 3 * added + 2);
    int listed = 0;
    for (const MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        ++listed;
    EXPECT_EQ(listed, mesh.getNumOfVertices());
}

} // namespace
