#pragma once
// Smallest and largest density of a volume, as the host shows them and uses them to set
// the density window and the threshold limits.

#include <cstddef>
#include <cstdint>
#include "host/import/CLoadedVolume.h"

namespace velmora::import {

struct CDensityRange
{
    std::int16_t min = 0;
    std::int16_t max = 0;
    //! Number of voxels looked at; 0 means the volume was empty and min = max = 0.
    std::size_t count = 0;

    static CDensityRange of(const CVoxelBuffer& voxels);
};

} // namespace velmora::import
