#pragma once
// The edge container; it owns the mesh's vertex container (created with merging off),
// whose arena holds the edges too. Edges exist only after MCTriS::buildEdges.

#include "vctl/MCEdge.h"
#include "vctl/MCEntitieS.h"
#include "vctl/MCVerticeS.h"

namespace vctl {

class MCEdgeS : public MCEntitieS<MCEdge>
{
public:
    MCEdgeS() : MCEntitieS<MCEdge>(MCArena::KIND_EDGE), m_vertices(false) { m_arena = &m_vertices.getArena(); }
    ~MCEdgeS() override = default;

    MCVerticeS& getVertices() { return m_vertices; }
    const MCVerticeS& getVertices() const { return m_vertices; }

    //! The edge joining a and b found in a's edge list, or null.
    static MCEdge* findEdge(const MCVertex* a, const MCVertex* b);

    //! The edge joining a and b: the existing one, or a new one appended to the container
    //! and pushed at the front of both vertices' edge lists. Null when a or b is null, when
    //! they are the same vertex, or when either is not a vertex of this container.
    MCEdge* addEdge(MCVertex* a, MCVertex* b);

    //! Destroys all edges and resets every vertex's edge list; vertices stay.
    void clear() override;

private:
    MCVerticeS m_vertices;
};

} // namespace vctl
