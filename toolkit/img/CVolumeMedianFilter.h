#pragma once
// Median filter of a label volume: every voxel of the destination gets the median of the
// s × s × s neighbourhood of the source voxel at the same place, s being the window size
// (odd, 3 to 19 in practice). The source needs a margin of at least s / 2 so that the
// window never leaves its buffer. Progress is reported once per z slice; a stop request
// ends the run with false and leaves the destination partly written.
//
// The working array holds s³ values, allocated once at construction and reused for every
// voxel. The filter operation itself is defined with the label post-processing algorithms.

#include "toolkit/img/CVolumeFilter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvo::img {

template <class V>
class CVolumeMedianFilter : public CVolumeFilter<V>
{
public:
    using typename CVolumeFilter<V>::tVoxel;

    //! A filter with window size `size` (a size below 1 gives an empty working array).
    explicit CVolumeMedianFilter(std::int32_t size)
        : m_size(size), m_values(size > 0 ? std::size_t(size) * std::size_t(size) * std::size_t(size) : 0)
    {
    }

    bool operator()(const V& source, V& destination) override;

    std::int32_t getSize() const noexcept { return m_size; }

protected:
    std::int32_t m_size;
    std::vector<tVoxel> m_values;
};

} // namespace kvo::img
