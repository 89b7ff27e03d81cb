#pragma once
// The points of one stroke drawn in an ortho view, as the scene hub's strokeDrawn hands
// them on: voxel coordinates of the volume, each snapped to the centre of the voxel under
// the pointer (so a reader that truncates and one that rounds see the same voxel), in
// drawing order, without repeating the previous point. Points outside the volume are left
// out. GUI-free.

#include <osg/Array>
#include <osg/ref_ptr>

#include <array>

namespace velmora::views {

class CStrokePath
{
public:
    //! `size`: the volume's voxel counts along x, y, z.
    explicit CStrokePath(const std::array<int, 3>& size) : m_size(size), m_points(new osg::Vec3Array) {}

    //! Adds the voxel that contains `point` (voxel coordinates); false when it lies outside
    //! the volume or repeats the last voxel added.
    bool add(const std::array<float, 3>& point);

    const osg::Vec3Array* getPoints() const { return m_points.get(); }
    bool isEmpty() const { return m_points->empty(); }

private:
    std::array<int, 3> m_size;
    osg::ref_ptr<osg::Vec3Array> m_points;
};

} // namespace velmora::views
