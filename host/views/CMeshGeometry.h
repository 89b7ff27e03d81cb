#pragma once
// Turns a triangle mesh (vctl::MCTriS) into scene geometry for the 3D view: one vertex per
// mesh vertex, smooth normals (the area-weighted sum of the normals of the triangles
// around a vertex, normalised), the triangles in mesh order as indexed triangles, one
// colour. The geometry holds copies; the mesh may change or go away afterwards. GUI-free,
// needs no graphics context.

#include <osg/Geometry>
#include <osg/ref_ptr>

namespace vctl {
class MCTriS;
}

namespace velmora::views {

class CMeshGeometry
{
public:
    //! The geometry of `mesh`; null when the mesh has no triangles.
    static osg::ref_ptr<osg::Geometry> build(const vctl::MCTriS& mesh, const osg::Vec4& color);
};

} // namespace velmora::views
