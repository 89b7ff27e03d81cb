#include "host/views/CMeshGeometry.h"

#include "vctl/MCTriS.h"

#include <vector>

namespace velmora::views {

osg::ref_ptr<osg::Geometry> CMeshGeometry::build(const vctl::MCTriS& mesh, const osg::Vec4& color)
{
    if (mesh.getNumOfTris() <= 0)
        return nullptr;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    vertices->reserve(mesh.getNumOfVertices());
    triangles->reserve(3 * std::size_t(mesh.getNumOfTris()));
    // Vertex numbers are kept here, indexed by the vertices' slots, rather than in the
    // vertices: the mesh belongs to the model entry and is only read. Vertices are numbered
    // in the order the triangles first use them (unused vertices are left out).
    constexpr unsigned NONE = ~0u;
    std::vector<unsigned> numbers(mesh.getVertices().getSlotBound(), NONE);
    for (const vctl::MCTri* tri = mesh.getFirst(); tri; tri = tri->getNext())
    {
        for (int corner = 0; corner < 3; ++corner)
        {
            const vctl::MCVertex* vertex = tri->getVertex(corner);
            unsigned& number = numbers[vctl::MCVerticeS::getSlot(vertex)];
            if (number == NONE)
            {
                number = static_cast<unsigned>(vertices->size());
                vertices->push_back(osg::Vec3(vertex->getX(), vertex->getY(), vertex->getZ()));
            }
            triangles->push_back(number);
        }
    }
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array(vertices->size());
    for (std::size_t i = 0; i + 2 < triangles->size(); i += 3)
    {
        const unsigned a = (*triangles)[i], b = (*triangles)[i + 1], c = (*triangles)[i + 2];
        // The cross product's length is twice the area: larger triangles weigh more.
        const osg::Vec3 n = ((*vertices)[b] - (*vertices)[a]) ^ ((*vertices)[c] - (*vertices)[a]);
        (*normals)[a] += n;
        (*normals)[b] += n;
        (*normals)[c] += n;
    }
    for (osg::Vec3& n : *normals)
        n.normalize();

    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    osg::ref_ptr<osg::Vec4Array> colors = new osg::Vec4Array;
    colors->push_back(color);
    geometry->setColorArray(colors.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(triangles.get());
    // Drawn from client arrays: OpenSceneGraph recycles the buffer objects of released
    // geometries, and a geometry drawn from a recycled vertex buffer made the GL read vertex
    // offsets as addresses (a crash after steps that rebuild the model at its old size).
    // The view draws on paint only, so sending the arrays with each frame costs little.
    geometry->setUseVertexBufferObjects(false);
    geometry->setUseDisplayList(false);
    return geometry;
}

} // namespace velmora::views
