#include "host/import/CVolumeLimits.h"

#include "host/import/CImportError.h"
#include "toolkit/sys/MemoryLimit.h"

#include <cmath>
#include <sstream>

namespace velmora::import {

std::size_t CVolumeLimits::checkedVoxelCount(std::int64_t x, std::int64_t y, std::int64_t z, const std::string& source)
{
    auto fail = [&](const char* why) {
        std::ostringstream message;
        message << source << ": " << x << " x " << y << " x " << z << " voxels " << why;
        throw CImportError(message.str());
    };
    if (x < 1 || y < 1 || z < 1)
        fail("is not a valid volume size (every dimension must be at least 1)");
    if (x > MAX_DIMENSION || y > MAX_DIMENSION || z > MAX_DIMENSION)
        fail("is too large (at most 65536 voxels along each axis)");
    // Each factor is at most 2^16, so x * y fits in 64 bits and the division test below
    // catches the only overflow that could remain.
    const std::int64_t xy = x * y;
    if (xy > MAX_VOXELS || z > MAX_VOXELS / xy)
        fail("is too large (at most 2147483648 voxels)");
    // The loaded volume and its copy in the data set, before either is allocated.
    kvo::sys::checkMemory(static_cast<std::uint64_t>(xy * z) * sizeof(std::int16_t) * 2, source);
    return static_cast<std::size_t>(xy * z);
}

void CVolumeLimits::checkSpacing(double dx, double dy, double dz, const std::string& source)
{
    for (double d : {dx, dy, dz}) {
        if (!std::isfinite(d) || d < MIN_SPACING_MM || d > MAX_SPACING_MM) {
            std::ostringstream message;
            message << source << ": voxel spacing " << dx << " x " << dy << " x " << dz
                    << " mm is not valid (every spacing must be from 0.001 to 1000 mm)";
            throw CImportError(message.str());
        }
    }
}

} // namespace velmora::import
