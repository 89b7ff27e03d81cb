#pragma once
// A mesh edge between two vertices. Each edge sits in the edge lists of both its vertices:
// the link for vertex i is getNextAround(i). Created only by an edge container
// (MCEdgeS::addEdge), in its mesh's arena.

#include "vctl/MCEntity.h"
#include "vctl/MCVertex.h"

namespace vctl {

class MCEdgeS;

class MCEdge : public MCEntity<MCEdge>
{
public:
    //! 1 when the edge joins the same two vertices, in either order.
    int isEqual(const MCEdge& other) const
    {
        if (MCArena::arenaOf(this) != MCArena::arenaOf(&other))
            return 0; // edges of two meshes share no vertex
        return (m_vertex[0] == other.m_vertex[0] && m_vertex[1] == other.m_vertex[1]) ||
                       (m_vertex[0] == other.m_vertex[1] && m_vertex[1] == other.m_vertex[0])
                   ? 1
                   : 0;
    }
    std::int32_t getHashKey() const { return 0; }
    //! "Edge <entity> : vertex 0 / vertex 1".
    std::string toString() const;

    MCVertex* getVertex(int i) const { return MCArena::decode<MCVertex>(this, m_vertex[i]); }
    //! Re-points end i to v (a vertex of the same mesh); the vertices' edge lists are the
    //! caller's to update.
    void setVertex(int i, MCVertex* v) { m_vertex[i] = MCArena::encode(this, v); }
    //! Next edge in vertex i's edge list.
    MCEdge* getNextAround(int i) const { return MCArena::decode<MCEdge>(this, m_next[i]); }
    void setNextAround(int i, MCEdge* edge) { m_next[i] = MCArena::encode(this, edge); }

    bool joins(const MCVertex* a, const MCVertex* b) const
    {
        const std::uint32_t ha = MCArena::find(this, a), hb = MCArena::find(this, b);
        return (m_vertex[0] == ha && m_vertex[1] == hb) || (m_vertex[0] == hb && m_vertex[1] == ha);
    }
    //! The next edge in v's edge list; v must be an end of this edge.
    MCEdge* getNextAround(const MCVertex* v) const
    {
        return MCArena::decode<MCEdge>(this, m_vertex[0] == MCArena::find(this, v) ? m_next[0] : m_next[1]);
    }

    // Only containers create and destroy entities, in the mesh's arena.
    static void* operator new(std::size_t, void* room) noexcept { return room; }
    static void operator delete(void*, void*) noexcept {}
    static void* operator new(std::size_t) = delete;
    static void operator delete(void*) = delete;

private:
    friend class MCEdgeS;
    //! The vertices belong to the arena of the edge (the container checked them).
    MCEdge(MCVertex* v0, MCVertex* v1) : m_vertex{MCArena::handleOf(v0), MCArena::handleOf(v1)} {}
    std::uint32_t m_vertex[2];
    std::uint32_t m_next[2] = {0, 0};
};

} // namespace vctl
