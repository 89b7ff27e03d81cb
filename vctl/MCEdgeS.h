#pragma once
// The edge container; it owns the mesh's vertex container (created with merging off).
// Edges exist only after MCTriS::buildEdges.

#include "vctl/MCEdge.h"
#include "vctl/MCEntitieS.h"
#include "vctl/MCVerticeS.h"

namespace vctl {

class MCEdgeS : public MCEntitieS<MCEdge>
{
public:
    MCEdgeS() : m_vertices(false) {}
    ~MCEdgeS() override = default;

    MCVerticeS& getVertices() { return m_vertices; }
    const MCVerticeS& getVertices() const { return m_vertices; }

    //! The edge joining a and b found in a's edge list, or null.
    static MCEdge* findEdge(const MCVertex* a, const MCVertex* b);

    //! The edge joining a and b: the existing one, or a new one appended to the container
    //! and pushed at the front of both vertices' edge lists.
    MCEdge* addEdge(MCVertex* a, MCVertex* b);

    //! Destroys all edges and resets every vertex's edge list; vertices stay.
    void clear() override;

private:
    MCVerticeS m_vertices;
};

} // namespace vctl
