#pragma once
// Where a slice of the volume sits in an ortho view, and the mapping between view pixels
// and voxel coordinates. GUI-free.
//
// A slice is named by the axis normal to it (AXIS_YZ = 0: x fixed, AXIS_XZ = 1: y fixed,
// AXIS_XY = 2: z fixed). Its columns run along u, its rows along v:
//   XY: u = x, v = y, y grows downwards;
//   XZ: u = x, v = z, z grows upwards;
//   YZ: u = y, v = z, z grows upwards.
// The slice is scaled uniformly in millimetres (non-unit spacing keeps its true aspect),
// as large as fits, centred, and snapped to whole pixels: the displayed rectangle is
// left, top, width × height pixels, so one voxel is width / U by height / V pixels.
//
// Voxel coordinates put voxel centres at whole numbers: voxel u covers [u - 0.5, u + 0.5).
// A mouse position (px, py) names the pixel whose centre is (px + 0.5, py + 0.5).

#include <array>

namespace velmora::views {

enum ESliceAxis : int
{
    AXIS_YZ = 0,
    AXIS_XZ = 1,
    AXIS_XY = 2
};

class CSliceGeometry
{
public:
    //! Volume size in voxels and spacing in mm (non-positive spacing counts as 1), view
    //! size in pixels. An empty volume or view gives an empty rectangle that contains no
    //! point.
    CSliceGeometry(int axis, const std::array<int, 3>& size, const std::array<double, 3>& spacing, int viewWidth,
                   int viewHeight);

    int getAxis() const { return m_axis; }
    //! Volume axes along u and v (0: x, 1: y, 2: z).
    int getUAxis() const { return m_uAxis; }
    int getVAxis() const { return m_vAxis; }
    //! Voxels along u and v.
    int getColumns() const { return m_columns; }
    int getRows() const { return m_rows; }
    //! Whether v grows upwards on the screen (image row V - 1 - v shows voxel row v).
    bool isFlipped() const { return m_flipped; }

    //! The displayed rectangle in view pixels.
    int getLeft() const { return m_left; }
    int getTop() const { return m_top; }
    int getWidth() const { return m_width; }
    int getHeight() const { return m_height; }
    bool isEmpty() const { return m_width <= 0 || m_height <= 0; }

    //! View pixel position (not rounded) of the slice point (u, v) in voxel coordinates.
    std::array<double, 2> voxelToPixel(double u, double v) const;
    //! Slice point (u, v) in voxel coordinates at the centre of view pixel (px, py).
    std::array<double, 2> pixelToVoxel(int px, int py) const;
    //! True when (u, v) lies in a voxel of the slice: -0.5 <= u < U - 0.5, same for v.
    bool contains(double u, double v) const;
    //! The volume point (x, y, z) of slice point (u, v) on slice `index`.
    std::array<float, 3> toVolume(double u, double v, int index) const;
    //! The slice point (u, v) of a volume point.
    std::array<double, 2> toSlice(const std::array<float, 3>& point) const;

private:
    int m_axis;
    int m_uAxis;
    int m_vAxis;
    int m_columns = 0;
    int m_rows = 0;
    bool m_flipped;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
};

} // namespace velmora::views
