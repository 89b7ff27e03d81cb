#pragma once
// A mesh triangle. Its vertex order is its orientation: surfaces built by marching cubes
// are counter-clockwise seen from outside. Each triangle sits in the triangle lists of its
// three vertices: the link for vertex i (the next older triangle of that vertex) is
// getNextAround(i). Created only by a mesh (MCTriS::addTri), in its arena.

#include "vctl/MCEntity.h"
#include "vctl/MCVertex.h"

namespace vctl {

class MCTriS;

class MCTri : public MCEntity<MCTri>
{
public:
    //! 1 when the triangle has the same three vertices in any order and orientation.
    int isEqual(const MCTri& other) const
    {
        if (MCArena::arenaOf(this) != MCArena::arenaOf(&other))
            return 0; // triangles of two meshes share no vertex
        return other.holds(m_vertex[0]) && other.holds(m_vertex[1]) && other.holds(m_vertex[2]) ? 1 : 0;
    }
    std::int32_t getHashKey() const { return 0; }
    //! "Tri <entity> : vertex 0 / vertex 1 / vertex 2".
    std::string toString() const;

    MCVertex* getVertex(int i) const { return MCArena::decode<MCVertex>(this, m_vertex[i]); }
    //! Re-points corner i to v (a vertex of the same mesh); the vertices' triangle lists
    //! are the caller's to update.
    void setVertex(int i, MCVertex* v) { m_vertex[i] = MCArena::encode(this, v); }

    //! Next triangle in vertex i's triangle list.
    MCTri* getNextAround(int i) const { return MCArena::decode<MCTri>(this, m_next[i]); }
    void setNextAround(int i, MCTri* tri) { m_next[i] = MCArena::encode(this, tri); }

    //! Corner index of v (0, 1 or 2 by identity), -1 when v is not a corner.
    int getCornerIndex(const MCVertex* v) const { return cornerOf(MCArena::find(this, v)); }
    bool contains(const MCVertex* v) const { return holds(MCArena::find(this, v)); }

    //! The next triangle in v's triangle list; null when v is not a corner.
    MCTri* getNextAround(const MCVertex* v) const
    {
        const int i = getCornerIndex(v);
        return i < 0 ? nullptr : getNextAround(i);
    }

    //! The two other corners of corner i in cyclic order: (i + 1) mod 3, then (i + 2) mod 3.
    MCVertex* getFollowing(int i) const { return getVertex((i + 1) % 3); }
    MCVertex* getPreceding(int i) const { return getVertex((i + 2) % 3); }

    // Only containers create and destroy entities, in the mesh's arena.
    static void* operator new(std::size_t, void* room) noexcept { return room; }
    static void operator delete(void*, void*) noexcept {}
    static void* operator new(std::size_t) = delete;
    static void operator delete(void*) = delete;

private:
    friend class MCTriS;
    //! The vertices belong to the arena of the triangle (the mesh checked them).
    MCTri(MCVertex* v0, MCVertex* v1, MCVertex* v2)
        : m_vertex{MCArena::handleOf(v0), MCArena::handleOf(v1), MCArena::handleOf(v2)}
    {
    }
    // Handles of this mesh's arena (0 is null).
    int cornerOf(std::uint32_t v) const { return m_vertex[0] == v ? 0 : m_vertex[1] == v ? 1 : m_vertex[2] == v ? 2 : -1; }
    bool holds(std::uint32_t v) const { return m_vertex[0] == v || m_vertex[1] == v || m_vertex[2] == v; }

    std::uint32_t m_vertex[3];
    std::uint32_t m_next[3] = {0, 0, 0};
};

} // namespace vctl
