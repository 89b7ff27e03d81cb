#pragma once
// Limits on the size of an imported volume, checked on every size read from a file before
// anything is allocated, so that a damaged or hostile header cannot make us ask for
// absurd amounts of memory.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::import {

class CVolumeLimits
{
public:
    //! Largest number of voxels along one axis.
    static constexpr std::int64_t MAX_DIMENSION = 65536;
    //! Largest number of voxels of a volume (4 GiB of 16-bit densities).
    static constexpr std::int64_t MAX_VOXELS = std::int64_t(1) << 31;

    //! Returns x * y * z; throws CImportError naming `source` (a file or folder) when a
    //! dimension is below 1 or above MAX_DIMENSION or the product exceeds MAX_VOXELS, and
    //! kvo::sys::CMemoryLimitExceeded when the volume and its copy in the data set would
    //! pass the memory limit.
    static std::size_t checkedVoxelCount(std::int64_t x, std::int64_t y, std::int64_t z, const std::string& source);

    //! Smallest and largest voxel spacing in millimetres: beyond them no scanner exists, and
    //! model coordinates (spacing times up to 65536 voxels) could overflow single precision.
    static constexpr double MIN_SPACING_MM = 1e-3;
    static constexpr double MAX_SPACING_MM = 1e3;
    //! Throws CImportError naming `source` unless the three spacings are finite and within
    //! MIN_SPACING_MM to MAX_SPACING_MM.
    static void checkSpacing(double dx, double dy, double dz, const std::string& source);
};

} // namespace velmora::import
