#include "host/exchange/Reorientation.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace velmora::exchange {

namespace {

using CVector = std::array<double, 3>;

double dot(const CVector& a, const CVector& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

CVector unit(const CVector& v)
{
    const double length = std::sqrt(dot(v, v));
    return {v[0] / length, v[1] / length, v[2] / length};
}

std::string sizeText(const std::array<int, 3>& size)
{
    return std::to_string(size[0]) + " x " + std::to_string(size[1]) + " x " + std::to_string(size[2]);
}

std::string spacingText(const std::array<double, 3>& spacing)
{
    std::ostringstream text;
    text << spacing[0] << " x " << spacing[1] << " x " << spacing[2] << " mm";
    return text.str();
}

// Coordinates of `v` along the three (not necessarily orthogonal) axes, by Cramer's rule.
CVector alongAxes(const std::array<CVector, 3>& axes, const CVector& v)
{
    auto determinant = [](const CVector& a, const CVector& b, const CVector& c) {
        return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) + a[2] * (b[0] * c[1] - b[1] * c[0]);
    };
    const double whole = determinant(axes[0], axes[1], axes[2]);
    return {determinant(v, axes[1], axes[2]) / whole, determinant(axes[0], v, axes[2]) / whole,
            determinant(axes[0], axes[1], v) / whole};
}

bool usable(const CGrid& grid)
{
    if (!grid.geometry.isFinite())
        return false;
    for (int axis = 0; axis < 3; ++axis)
        if (grid.size[axis] < 1 || !(grid.spacing[axis] > 0.0) || !std::isfinite(grid.spacing[axis])
            || !(dot(grid.geometry.axes[axis], grid.geometry.axes[axis]) > 0.0))
            return false;
    return true;
}

} // namespace

CGrid gridOf(const import::CLoadedVolume& volume)
{
    return {{volume.xSize, volume.ySize, volume.zSize}, {volume.dx, volume.dy, volume.dz}, volume.geometry};
}

CGrid gridOf(const CLabelMap& map)
{
    return {{map.xSize, map.ySize, map.zSize}, {map.dx, map.dy, map.dz}, map.geometry};
}

std::vector<std::uint16_t> reorientOnto(const CLabelMap& map, const CGrid& scan)
{
    const CGrid grid = gridOf(map);
    if (!usable(grid))
        throw std::runtime_error("The label map has no valid voxel sizes or position in the patient");
    if (!usable(scan))
        throw std::runtime_error("The scan has no valid voxel sizes or position in the patient");
    const std::size_t count = static_cast<std::size_t>(grid.size[0]) * static_cast<std::size_t>(grid.size[1])
                              * static_cast<std::size_t>(grid.size[2]);
    if (map.labels.size() != count)
        throw std::runtime_error("The label map holds " + std::to_string(map.labels.size()) + " labels for "
                                 + std::to_string(count) + " voxels");

    std::array<CVector, 3> mapAxes, scanAxes;
    for (int axis = 0; axis < 3; ++axis) {
        mapAxes[axis] = unit(grid.geometry.axes[axis]);
        scanAxes[axis] = unit(scan.geometry.axes[axis]);
    }
    // Each map axis to the scan axis it runs along, and in which direction.
    std::array<int, 3> matched{-1, -1, -1};
    std::array<int, 3> direction{1, 1, 1};
    bool parallel = true;
    for (int axis = 0; axis < 3 && parallel; ++axis) {
        for (int candidate = 0; candidate < 3; ++candidate) {
            const double cosine = dot(mapAxes[axis], scanAxes[candidate]);
            if (std::fabs(cosine) > 0.999 && std::find(matched.begin(), matched.end(), candidate) == matched.end()) {
                matched[axis] = candidate;
                direction[axis] = cosine > 0.0 ? 1 : -1;
                break;
            }
        }
        parallel = matched[axis] >= 0;
    }
    if (!parallel) {
        std::array<int, 3> mapSorted = grid.size, scanSorted = scan.size;
        std::sort(mapSorted.begin(), mapSorted.end());
        std::sort(scanSorted.begin(), scanSorted.end());
        if (mapSorted != scanSorted)
            throw std::runtime_error("The label map does not fit the scan: the label map is " + sizeText(grid.size)
                                     + " voxels, the scan " + sizeText(scan.size));
        throw std::runtime_error("The label map does not fit the scan: its axes are not parallel to the scan's "
                                 "(it is oriented differently)");
    }

    // The map's sizes in the scan's axis order.
    std::array<int, 3> sizeOnScan{};
    std::array<double, 3> spacingOnScan{};
    for (int axis = 0; axis < 3; ++axis) {
        sizeOnScan[matched[axis]] = grid.size[axis];
        spacingOnScan[matched[axis]] = grid.spacing[axis];
    }
    if (sizeOnScan != scan.size) {
        const bool sameOrder = matched == std::array<int, 3>{0, 1, 2};
        throw std::runtime_error("The label map does not fit the scan: the label map is " + sizeText(grid.size) + " voxels"
                                 + (sameOrder ? std::string() : " (" + sizeText(sizeOnScan) + " along the scan's axes)")
                                 + ", the scan " + sizeText(scan.size));
    }
    for (int axis = 0; axis < 3; ++axis)
        if (std::fabs(spacingOnScan[axis] - scan.spacing[axis]) > 1e-3 * scan.spacing[axis])
            throw std::runtime_error("The label map does not fit the scan: its voxels measure " + spacingText(grid.spacing)
                                     + ", the scan's " + spacingText(scan.spacing));

    // Map voxel (0, 0, 0) is the scan's corner voxel at the far end of each reversed axis.
    CVector corner{0.0, 0.0, 0.0};
    for (int axis = 0; axis < 3; ++axis)
        if (direction[axis] < 0)
            corner[matched[axis]] = scan.size[matched[axis]] - 1;
    const CVector expected = scan.geometry.toPatient(corner, scan.spacing);
    const CVector offset{grid.geometry.origin[0] - expected[0], grid.geometry.origin[1] - expected[1],
                         grid.geometry.origin[2] - expected[2]};
    const CVector steps = alongAxes(scanAxes, offset);
    for (int axis = 0; axis < 3; ++axis)
        if (!(std::fabs(steps[axis]) < 0.5 * scan.spacing[axis])) {
            std::ostringstream message;
            message << "The label map does not fit the scan: its origin lies " << std::sqrt(dot(offset, offset))
                    << " mm from the scan's, more than half a voxel";
            throw std::runtime_error(message.str());
        }

    // Scan index of map voxel (x, y, z): start + x * step[0] + y * step[1] + z * step[2].
    const std::ptrdiff_t scanStride[3] = {1, scan.size[0], static_cast<std::ptrdiff_t>(scan.size[0]) * scan.size[1]};
    std::ptrdiff_t step[3];
    std::ptrdiff_t start = 0;
    for (int axis = 0; axis < 3; ++axis) {
        step[axis] = direction[axis] * scanStride[matched[axis]];
        if (direction[axis] < 0)
            start += (grid.size[axis] - 1) * scanStride[matched[axis]];
    }
    std::vector<std::uint16_t> labels(count);
    const std::uint16_t* from = map.labels.data();
    for (int z = 0; z < grid.size[2]; ++z)
        for (int y = 0; y < grid.size[1]; ++y) {
            const std::ptrdiff_t row = start + z * step[2] + y * step[1];
            for (int x = 0; x < grid.size[0]; ++x)
                labels[static_cast<std::size_t>(row + x * step[0])] = *from++;
        }
    return labels;
}

} // namespace velmora::exchange
