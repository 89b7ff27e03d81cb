#include "host/views/CStrokePath.h"

#include <cmath>

namespace velmora::views {

bool CStrokePath::add(const std::array<float, 3>& point)
{
    osg::Vec3f voxel;
    for (int axis = 0; axis < 3; ++axis)
    {
        const double centre = std::floor(double(point[axis]) + 0.5);
        if (!(centre >= 0.0 && centre < m_size[axis])) // also refuses NaN
            return false;
        voxel[axis] = static_cast<float>(centre);
    }
    if (!m_points->empty() && m_points->back() == voxel)
        return false;
    m_points->push_back(voxel);
    return true;
}

} // namespace velmora::views
