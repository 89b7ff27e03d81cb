#include "plugins/ostrum/mesh/CMeshRecord.h"

#include "vctl/MCTriS.h"

void CMeshRecord::capture(vctl::MCTriS& mesh, bool topology)
{
    clear();
    m_topology = topology;
    m_positions.reserve(static_cast<std::size_t>(mesh.getNumOfVertices()));
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        m_positions.push_back({v->getX(), v->getY(), v->getZ()});
    if (!topology)
        return;

    // Numbers go into the entities' free integers while the lists are walked; their values
    // are put back afterwards.
    std::vector<int> savedIndex;
    savedIndex.reserve(m_positions.size());
    std::int32_t number = 0;
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        savedIndex.push_back(v->getIndex());
        v->setIndex(number++);
    }
    std::vector<std::int32_t> savedAuxiliary;
    savedAuxiliary.reserve(static_cast<std::size_t>(mesh.getNumOfTris()));
    m_triangles.reserve(static_cast<std::size_t>(mesh.getNumOfTris()));
    number = 0;
    for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
    {
        m_triangles.push_back({t->getVertex(0)->getIndex(), t->getVertex(1)->getIndex(), t->getVertex(2)->getIndex()});
        savedAuxiliary.push_back(t->getAuxiliary());
        t->setAuxiliary(number++);
    }
    m_firstAround.reserve(m_positions.size() + 1);
    m_around.reserve(m_triangles.size() * 3);
    for (const vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        m_firstAround.push_back(static_cast<std::int32_t>(m_around.size()));
        for (const vctl::MCTri* t = v->getTriList(); t && t->contains(v); t = t->getNextAround(v))
            m_around.push_back(t->getAuxiliary());
    }
    m_firstAround.push_back(static_cast<std::int32_t>(m_around.size()));

    std::size_t i = 0;
    for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        t->setAuxiliary(savedAuxiliary[i++]);
    i = 0;
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        v->setIndex(savedIndex[i++]);
}

void CMeshRecord::restore(vctl::MCTriS& mesh) const
{
    if (!m_topology)
    {
        std::size_t i = 0;
        for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v && i < m_positions.size(); v = v->getNext(), ++i)
            v->setXYZ(m_positions[i][0], m_positions[i][1], m_positions[i][2]);
        return;
    }
    mesh.getEdges().clear();
    mesh.clear();
    mesh.getVertices().clear();
    std::vector<vctl::MCVertex*> vertices;
    vertices.reserve(m_positions.size());
    for (const auto& p : m_positions)
        vertices.push_back(mesh.getVertices().addVertex(p[0], p[1], p[2]));
    std::vector<vctl::MCTri*> tris;
    tris.reserve(m_triangles.size());
    for (const auto& t : m_triangles)
        tris.push_back(mesh.addTri(vertices[t[0]], vertices[t[1]], vertices[t[2]]));
    // Thread each vertex's list again in its recorded order.
    for (std::size_t v = 0; v < vertices.size(); ++v)
    {
        vctl::MCTri* previous = nullptr;
        for (std::int32_t k = m_firstAround[v]; k < m_firstAround[v + 1]; ++k)
        {
            vctl::MCTri* t = tris[static_cast<std::size_t>(m_around[static_cast<std::size_t>(k)])];
            if (previous)
                previous->setNextAround(previous->getCornerIndex(vertices[v]), t);
            else
                vertices[v]->setTriList(t);
            previous = t;
        }
        if (previous)
            previous->setNextAround(previous->getCornerIndex(vertices[v]), nullptr);
        else
            vertices[v]->setTriList(nullptr);
    }
}

void CMeshRecord::clear()
{
    m_positions.clear();
    m_topology = false;
    m_triangles.clear();
    m_firstAround.clear();
    m_around.clear();
}
