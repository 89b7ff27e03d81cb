#include "host/views/CSliceGeometry.h"

#include <algorithm>
#include <cmath>

namespace velmora::views {

CSliceGeometry::CSliceGeometry(int axis, const std::array<int, 3>& size, const std::array<double, 3>& spacing,
                               int viewWidth, int viewHeight)
    : m_axis(std::clamp(axis, 0, 2)),
      m_uAxis(m_axis == AXIS_YZ ? 1 : 0),
      m_vAxis(m_axis == AXIS_XY ? 1 : 2),
      m_flipped(m_axis != AXIS_XY)
{
    m_columns = std::max(size[m_uAxis], 0);
    m_rows = std::max(size[m_vAxis], 0);
    if (m_columns == 0 || m_rows == 0 || viewWidth <= 0 || viewHeight <= 0)
        return;
    const double du = spacing[m_uAxis] > 0.0 ? spacing[m_uAxis] : 1.0;
    const double dv = spacing[m_vAxis] > 0.0 ? spacing[m_vAxis] : 1.0;
    const double extentU = m_columns * du;
    const double extentV = m_rows * dv;
    const double scale = std::min(viewWidth / extentU, viewHeight / extentV); // pixels per mm
    m_width = std::clamp(static_cast<int>(std::lround(extentU * scale)), 1, viewWidth);
    m_height = std::clamp(static_cast<int>(std::lround(extentV * scale)), 1, viewHeight);
    m_left = (viewWidth - m_width) / 2;
    m_top = (viewHeight - m_height) / 2;
}

std::array<double, 2> CSliceGeometry::voxelToPixel(double u, double v) const
{
    const double row = m_flipped ? (m_rows - 1) - v : v;
    return {m_left + (u + 0.5) * m_width / m_columns, m_top + (row + 0.5) * m_height / m_rows};
}

std::array<double, 2> CSliceGeometry::pixelToVoxel(int px, int py) const
{
    if (isEmpty())
        return {-1.0, -1.0};
    const double u = (px + 0.5 - m_left) * m_columns / m_width - 0.5;
    const double row = (py + 0.5 - m_top) * m_rows / m_height - 0.5;
    return {u, m_flipped ? (m_rows - 1) - row : row};
}

bool CSliceGeometry::contains(double u, double v) const
{
    return !isEmpty() && u >= -0.5 && u < m_columns - 0.5 && v >= -0.5 && v < m_rows - 0.5;
}

std::array<float, 3> CSliceGeometry::toVolume(double u, double v, int index) const
{
    std::array<float, 3> point{};
    point[m_axis] = static_cast<float>(index);
    point[m_uAxis] = static_cast<float>(u);
    point[m_vAxis] = static_cast<float>(v);
    return point;
}

std::array<double, 2> CSliceGeometry::toSlice(const std::array<float, 3>& point) const
{
    return {point[m_uAxis], point[m_vAxis]};
}

} // namespace velmora::views
