#pragma once
// A triangle mesh: the triangle container, which owns the edge container, which owns the
// vertex container, which owns the arena (MCArena) where all the entities live. Adjacency
// is carried by lists threaded through the entities: every vertex heads the list of its
// triangles (most recently attached first) and, once buildEdges ran, the list of its
// edges. Destroying the mesh destroys every entity; the destructor is virtual so that the
// owner (the model entry) may destroy it through a base. Not thread-safe.

#include "vctl/MCCoordinate3D.h"
#include "vctl/MCEdgeS.h"
#include "vctl/MCEntitieS.h"
#include "vctl/MCTri.h"

#include <array>
#include <vector>

namespace kvo::mod {
class CChannel;
}

namespace vctl {

class MCTriS : public MCEntitieS<MCTri>
{
public:
    MCTriS() : MCEntitieS<MCTri>(MCArena::KIND_TRI), m_vertices(&m_edges.getVertices())
    {
        m_arena = &m_vertices->getArena();
    }
    ~MCTriS() override = default;

    MCVerticeS& getVertices() { return *m_vertices; }
    const MCVerticeS& getVertices() const { return *m_vertices; }
    MCEdgeS& getEdges() { return m_edges; }
    const MCEdgeS& getEdges() const { return m_edges; }

    std::int32_t getNumOfTris() const { return getCount(); }
    std::int32_t getNumOfVertices() const { return m_vertices->getCount(); }

    //! The triangle (a, b, c): an existing triangle with the same three vertices in any
    //! order, or a new one appended to the list and pushed at the front of each vertex's
    //! triangle list. Null when two of the vertices are the same or one is null (such a
    //! triangle would link a vertex's list into a loop), or when a vertex is not one of
    //! this mesh's.
    MCTri* addTri(MCVertex* a, MCVertex* b, MCVertex* c);

    //! As addTri for a triangle that the caller knows to be new (no triangle joins the same
    //! three vertices yet), without the search: for builders such as marching cubes. Null
    //! for the vertices that addTri refuses; a repeated triangle added this way stays a
    //! second triangle.
    MCTri* appendTri(MCVertex* a, MCVertex* b, MCVertex* c);

    //! The first triangle in a's list that also contains b and c (orientation ignored), or null.
    static MCTri* findTri(const MCVertex* a, const MCVertex* b, const MCVertex* c);

    //! Unlinks t from the container and from its vertices' triangle lists and destroys it.
    //! Its vertices stay, even when unused. t must belong to this mesh.
    void removeTri(MCTri* t);

    //! Adds the edges of every triangle, in list order, that do not exist yet.
    void buildEdges();

    //! Destroys all triangles and resets every vertex's triangle list; edges and vertices stay.
    void clear() override;

    //! Writes the mesh as binary STL to an output channel (not opened, closed or flushed
    //! here). False, at once, when the channel is not connected or refuses a write; the
    //! channel then holds what was written before.
    bool saveSTL(kvo::mod::CChannel& channel) const;
    //! As saveSTL, each point p written as A p + t (`placement`: the rows of the 3 x 3 matrix
    //! A, each followed by its component of t) and each normal as A n normalised. Where A
    //! mirrors (negative determinant) the triangles' corners are written in reverse order, so
    //! that their winding still agrees with their normals.
    bool saveSTL(kvo::mod::CChannel& channel, const std::array<double, 12>& placement) const;

private:
    MCEdgeS m_edges;
    MCVerticeS* m_vertices;
};

//! The triangle across t's edge (vertex i, vertex (i + 1) mod 3), i in 0..2: the first other
//! triangle in vertex i's list that contains vertex (i + 1) mod 3; null at a border.
MCTri* neighbour(const MCTri* t, int i);

//! The unit normal (P1 - P0) x (P2 - P0) / |...|; the zero vector for a degenerate triangle.
MCCoordinate3D<double> normal(const MCTri* t);

//! The triangles of v's list, most recently attached first.
std::vector<MCTri*> triangles(const MCVertex* v);

} // namespace vctl
