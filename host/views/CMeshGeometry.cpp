#include "host/views/CMeshGeometry.h"

#include "vctl/MCTriS.h"

#include <unordered_map>

namespace velmora::views {

osg::ref_ptr<osg::Geometry> CMeshGeometry::build(const vctl::MCTriS& mesh, const osg::Vec4& color)
{
    if (mesh.getNumOfTris() <= 0)
        return nullptr;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    vertices->reserve(mesh.getNumOfVertices());
    triangles->reserve(3 * std::size_t(mesh.getNumOfTris()));
    // Vertex numbers are kept here rather than in the vertices: the mesh belongs to the
    // model entry and is only read.
    std::unordered_map<const vctl::MCVertex*, unsigned> numbers;
    numbers.reserve(mesh.getNumOfVertices());
    for (const vctl::MCTri* tri = mesh.getFirst(); tri; tri = tri->getNext())
    {
        for (int corner = 0; corner < 3; ++corner)
        {
            const vctl::MCVertex* vertex = tri->getVertex(corner);
            auto [found, added] = numbers.emplace(vertex, static_cast<unsigned>(vertices->size()));
            if (added)
                vertices->push_back(osg::Vec3(vertex->getX(), vertex->getY(), vertex->getZ()));
            triangles->push_back(found->second);
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
    geometry->setUseVertexBufferObjects(true);
    return geometry;
}

} // namespace velmora::views
