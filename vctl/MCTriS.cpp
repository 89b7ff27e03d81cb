#include "vctl/MCTriS.h"

#include <cmath>

namespace vctl {

MCTri* MCTriS::findTri(const MCVertex* a, const MCVertex* b, const MCVertex* c)
{
    // Walk a's list: in each triangle, a's corner index selects the link to follow. The
    // corners are compared as handles of a's mesh (a vertex of another mesh matches none).
    const std::uint32_t ha = MCArena::handleOf(a), hb = MCArena::find(a, b), hc = MCArena::find(a, c);
    const MCTri* tri = MCArena::decode<MCTri>(a, a->m_triList);
    while (tri)
    {
        const int corner = tri->cornerOf(ha);
        if (corner < 0)
            break;
        if (tri->holds(hb) && tri->holds(hc))
            return const_cast<MCTri*>(tri);
        tri = MCArena::decode<MCTri>(a, tri->m_next[corner]);
    }
    return nullptr;
}

MCTri* MCTriS::addTri(MCVertex* a, MCVertex* b, MCVertex* c)
{
    if (!a || !b || !c || a == b || b == c || a == c)
        return nullptr;
    if (MCArena::arenaOf(a) != m_arena || MCArena::arenaOf(b) != m_arena || MCArena::arenaOf(c) != m_arena)
        return nullptr;
    if (MCTri* existing = findTri(a, b, c))
        return existing;
    return appendTri(a, b, c);
}

MCTri* MCTriS::appendTri(MCVertex* a, MCVertex* b, MCVertex* c)
{
    if (!a || !b || !c || a == b || b == c || a == c)
        return nullptr;
    if (MCArena::arenaOf(a) != m_arena || MCArena::arenaOf(b) != m_arena || MCArena::arenaOf(c) != m_arena)
        return nullptr;
    MCTri* tri = new (allocateEntity()) MCTri(a, b, c);
    append(tri);
    // Push the triangle at the front of each corner's list: handles are copied as they
    // are, all of one arena.
    const std::uint32_t handle = MCArena::handleOf(tri);
    MCVertex* corners[3] = {a, b, c};
    for (int i = 0; i < 3; ++i)
    {
        tri->m_next[i] = corners[i]->m_triList;
        corners[i]->m_triList = handle;
    }
    return tri;
}

void MCTriS::removeTri(MCTri* t)
{
    unlink(t);
    for (int i = 0; i < 3; ++i)
    {
        MCVertex* vertex = t->getVertex(i);
        if (vertex->getTriList() == t)
        {
            vertex->setTriList(t->getNextAround(i));
        }
        else
        {
            // Find the predecessor of t in the vertex's list and splice t out.
            MCTri* tri = vertex->getTriList();
            while (tri)
            {
                const int corner = tri->getCornerIndex(vertex);
                if (corner < 0)
                    break;
                MCTri* next = tri->getNextAround(corner);
                if (next == t)
                {
                    tri->setNextAround(corner, t->getNextAround(i));
                    break;
                }
                tri = next;
            }
        }
        t->setNextAround(i, nullptr);
    }
    m_arena->release(MCArena::KIND_TRI, t);
}

void MCTriS::buildEdges()
{
    for (MCTri* tri = m_first; tri; tri = tri->getNext())
    {
        for (int i = 0; i < 3; ++i)
            m_edges.addEdge(tri->getVertex(i), tri->getVertex((i + 1) % 3));
    }
}

void MCTriS::clear()
{
    MCEntitieS<MCTri>::clear();
    for (MCVertex* vertex = m_vertices->getFirst(); vertex; vertex = vertex->getNext())
        vertex->setTriList(nullptr);
}

MCTri* neighbour(const MCTri* t, int i)
{
    const MCVertex* from = t->getVertex(i);
    const MCVertex* to = t->getVertex((i + 1) % 3);
    const MCTri* tri = from->getTriList();
    while (tri)
    {
        const int corner = tri->getCornerIndex(from);
        if (corner < 0)
            break;
        if (tri != t && tri->contains(to))
            return const_cast<MCTri*>(tri);
        tri = tri->getNextAround(corner);
    }
    return nullptr;
}

MCCoordinate3D<double> normal(const MCTri* t)
{
    const MCVertex* p0 = t->getVertex(0);
    const MCVertex* p1 = t->getVertex(1);
    const MCVertex* p2 = t->getVertex(2);
    const double ux = p1->getX() - p0->getX(), uy = p1->getY() - p0->getY(), uz = p1->getZ() - p0->getZ();
    const double vx = p2->getX() - p0->getX(), vy = p2->getY() - p0->getY(), vz = p2->getZ() - p0->getZ();
    const double nx = uy * vz - uz * vy;
    const double ny = uz * vx - ux * vz;
    const double nz = ux * vy - uy * vx;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (length == 0.0)
        return MCCoordinate3D<double>(0.0, 0.0, 0.0);
    return MCCoordinate3D<double>(nx / length, ny / length, nz / length);
}

std::vector<MCTri*> triangles(const MCVertex* v)
{
    std::vector<MCTri*> result;
    const MCTri* tri = v->getTriList();
    while (tri)
    {
        const int corner = tri->getCornerIndex(v);
        if (corner < 0)
            break;
        result.push_back(const_cast<MCTri*>(tri));
        tri = tri->getNextAround(corner);
    }
    return result;
}

} // namespace vctl
