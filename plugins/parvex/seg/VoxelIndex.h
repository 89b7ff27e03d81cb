#pragma once
// Conversions of float voxel coordinates to voxel indices that never leave the volume.
// A coordinate that is not a number, or whose index would lie outside [0, size), gives
// false; nothing is converted out of the int range.

#include <cmath>
#include <cstdint>

namespace seg {

//! Truncation towards zero: index = trunc(coordinate).
inline bool truncatedIndex(double coordinate, std::int32_t size, std::int32_t& index)
{
    // trunc(c) lies in [0, size) exactly when -1 < c < size.
    if (!(coordinate > -1.0) || !(coordinate < static_cast<double>(size)))
        return false;
    index = static_cast<std::int32_t>(coordinate);
    return index >= 0 && index < size;
}

//! Rounding as the pick does it: index = trunc(coordinate + 0.5). The sum is taken in
//! double, where it is exact: in float, 0.49999997 + 0.5 would round up to 1.
inline bool roundedIndex(float coordinate, std::int32_t size, std::int32_t& index)
{
    return truncatedIndex(static_cast<double>(coordinate) + 0.5, size, index);
}

} // namespace seg
