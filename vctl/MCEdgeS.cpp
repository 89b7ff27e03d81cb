#include "vctl/MCEdgeS.h"

namespace vctl {

MCEdge* MCEdgeS::findEdge(const MCVertex* a, const MCVertex* b)
{
    for (MCEdge* edge = a->getEdgeList(); edge; edge = edge->getNextAround(a))
    {
        if (edge->joins(a, b))
            return edge;
    }
    return nullptr;
}

MCEdge* MCEdgeS::addEdge(MCVertex* a, MCVertex* b)
{
    if (!a || !b || a == b || MCArena::arenaOf(a) != m_arena || MCArena::arenaOf(b) != m_arena)
        return nullptr;
    if (MCEdge* existing = findEdge(a, b))
        return existing;
    MCEdge* edge = new (allocateEntity()) MCEdge(a, b);
    append(edge);
    edge->setNextAround(0, a->getEdgeList());
    a->setEdgeList(edge);
    edge->setNextAround(1, b->getEdgeList());
    b->setEdgeList(edge);
    return edge;
}

void MCEdgeS::clear()
{
    MCEntitieS<MCEdge>::clear();
    for (MCVertex* vertex = m_vertices.getFirst(); vertex; vertex = vertex->getNext())
        vertex->setEdgeList(nullptr);
}

} // namespace vctl
