#pragma once
// Puts a label map onto a scan's voxel grid when both grids are the same up to the order and
// direction of their axes (a label map saved by another program in another orientation).

#include "host/exchange/LabelMapFile.h"
#include "host/import/CLoadedVolume.h"
#include "host/import/CPatientGeometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velmora::exchange {

//! A voxel grid in the patient: voxels per axis, voxel sizes in millimetres, placement.
struct CGrid
{
    std::array<int, 3> size{0, 0, 0};
    std::array<double, 3> spacing{1.0, 1.0, 1.0};
    import::CPatientGeometry geometry;
};

CGrid gridOf(const import::CLoadedVolume& volume);
CGrid gridOf(const CLabelMap& map);

//! The labels of `map` in the voxel order of `scan` (x fastest, then y, then z). The grids
//! must match: each axis of the map parallel (|cos| > 0.999) to a different axis of the scan,
//! the same number of voxels and voxel sizes within 0.1 % along matched axes, and the map's
//! voxel centres within half a voxel of the scan's along each scan axis. Otherwise throws
//! std::runtime_error with a message for the user saying what differs (sizes, voxel sizes,
//! orientation, or how far the map's origin lies from the scan's).
std::vector<std::uint16_t> reorientOnto(const CLabelMap& map, const CGrid& scan);

} // namespace velmora::exchange
