#include "plugins/ostrum/mesh/CSmallAreaReduction.h"

#include "vctl/MCTriS.h"

#include <vector>

bool CSmallAreaReduction::reduce(vctl::MCTriS& mesh, long threshold) const
{
    // Edges would keep the vertices of removed pieces alive.
    mesh.getEdges().clear();
    for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        t->setFlags(0);

    // Breadth-first labelling; a component's size counts the triangles reached from its
    // seed, so a component of n triangles has size n - 1. sizes[k] belongs to component k.
    std::vector<long> sizes(1, 0);
    std::vector<vctl::MCTri*> queue;
    for (vctl::MCTri* seed = mesh.getFirst(); seed; seed = seed->getNext())
    {
        if (seed->getFlags() != 0)
            continue;
        const int component = static_cast<int>(sizes.size());
        sizes.push_back(0);
        seed->setFlags(component);
        queue.assign(1, seed);
        for (std::size_t front = 0; front < queue.size(); ++front)
        {
            for (int i = 0; i < 3; ++i)
            {
                vctl::MCTri* next = vctl::neighbour(queue[front], i);
                if (next && next->getFlags() == 0)
                {
                    next->setFlags(component);
                    queue.push_back(next);
                    ++sizes[component];
                }
            }
        }
    }

    vctl::MCTri* next = nullptr;
    for (vctl::MCTri* t = mesh.getFirst(); t; t = next)
    {
        next = t->getNext();
        if (sizes[t->getFlags()] < threshold)
            mesh.removeTri(t);
    }
    mesh.getVertices().removeUnusedVertices();
    return true;
}
