#include "host/import/CDensityRange.h"

#include <algorithm>

namespace velmora::import {

CDensityRange CDensityRange::of(const CVoxelBuffer& voxels)
{
    CDensityRange range;
    if (voxels.empty())
        return range;
    const auto [low, high] = std::minmax_element(voxels.begin(), voxels.end());
    range.min = *low;
    range.max = *high;
    range.count = voxels.size();
    return range;
}

} // namespace velmora::import
