#pragma once
// Median filter of a label volume: every destination voxel (x, y, z) of the block that both
// volumes cover gets the value of rank floor(s³ / 2) among the s × s × s source voxels from
// (x - s/2, y - s/2, z - s/2) on, s being the window size (odd, 3 to 19 in practice): the
// median of the neighbourhood, labels compared as numbers. The source needs a margin of at
// least s / 2, which the window reads; a narrower one, or a size outside 1 .. 1023, is
// refused (false, nothing written). Progress is reported once per z slice on the calling
// thread (total: the z size); a stop request ends the run with false and leaves the
// destination partly written. Every return puts the default progress callback back.
//
// The filter operation is defined with the label post-processing algorithms
// (plugins/parvex/seg/MedianFilter.cpp, for data::CRegionData and CVolume<std::uint16_t>).
// It computes the ranks from running counts, with the machine's threads, and does not use
// the working array of s³ values, which stays for a plain per-voxel selection.

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
