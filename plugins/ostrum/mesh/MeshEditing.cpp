#include "plugins/ostrum/mesh/MeshEditing.h"

#include "vctl/MCEdge.h"
#include "vctl/MCTri.h"
#include "vctl/MCVertex.h"

namespace meshedit {

void trianglesOf(const vctl::MCVertex* v, std::vector<vctl::MCTri*>& into)
{
    into.clear();
    // The corner index selects the link to follow; a triangle without v ends the walk.
    for (vctl::MCTri* t = v->getTriList(); t;)
    {
        const int corner = t->getCornerIndex(v);
        if (corner < 0)
            break;
        into.push_back(t);
        t = t->getNextAround(corner);
    }
}

void detachTri(vctl::MCTri* t)
{
    for (int i = 0; i < 3; ++i)
    {
        vctl::MCVertex* vertex = t->getVertex(i);
        if (vertex->getTriList() == t)
        {
            vertex->setTriList(t->getNextAround(i));
        }
        else
        {
            vctl::MCTri* tri = vertex->getTriList();
            while (tri)
            {
                const int corner = tri->getCornerIndex(vertex);
                if (corner < 0)
                    break;
                vctl::MCTri* next = tri->getNextAround(corner);
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
}

void attachTri(vctl::MCTri* t)
{
    for (int i = 0; i < 3; ++i)
    {
        vctl::MCVertex* vertex = t->getVertex(i);
        t->setNextAround(i, vertex->getTriList());
        vertex->setTriList(t);
    }
}

void setCorners(vctl::MCTri* t, vctl::MCVertex* a, vctl::MCVertex* b, vctl::MCVertex* c)
{
    t->setVertex(0, a);
    t->setVertex(1, b);
    t->setVertex(2, c);
}

void replaceCorner(vctl::MCTri* t, const vctl::MCVertex* from, vctl::MCVertex* to)
{
    detachTri(t);
    vctl::MCVertex* corners[3] = {t->getVertex(0), t->getVertex(1), t->getVertex(2)};
    for (vctl::MCVertex*& corner : corners)
        if (corner == from)
            corner = to;
    setCorners(t, corners[0], corners[1], corners[2]);
    attachTri(t);
}

void detachEdge(vctl::MCEdge* e)
{
    for (int i = 0; i < 2; ++i)
    {
        vctl::MCVertex* vertex = e->getVertex(i);
        if (vertex->getEdgeList() == e)
        {
            vertex->setEdgeList(e->getNextAround(i));
        }
        else
        {
            for (vctl::MCEdge* edge = vertex->getEdgeList(); edge;)
            {
                const int end = edge->getVertex(0) == vertex ? 0 : 1;
                vctl::MCEdge* next = edge->getNextAround(end);
                if (next == e)
                {
                    edge->setNextAround(end, e->getNextAround(i));
                    break;
                }
                edge = next;
            }
        }
        e->setNextAround(i, nullptr);
    }
}

void attachEdge(vctl::MCEdge* e)
{
    for (int i = 0; i < 2; ++i)
    {
        vctl::MCVertex* vertex = e->getVertex(i);
        e->setNextAround(i, vertex->getEdgeList());
        vertex->setEdgeList(e);
    }
}

void setEnds(vctl::MCEdge* e, vctl::MCVertex* a, vctl::MCVertex* b)
{
    e->setVertex(0, a);
    e->setVertex(1, b);
}

} // namespace meshedit
