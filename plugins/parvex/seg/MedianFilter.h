#pragma once
// The median filter of label volumes: the engine behind kvo::img::CVolumeMedianFilter<V>,
// whose filter operation MedianFilter.cpp defines for V = data::CRegionData and
// V = kvo::img::CVolume<std::uint16_t>. The panel uses that class; this header is for callers
// that choose the threads or the method (tests, benchmarks).
//
// medianFilter(source, destination, s) gives every voxel (x, y, z) of the working region (the
// first min(source, destination) voxels along each axis) the value of rank floor(s³ / 2)
// (0-based, labels in numeric order) among the s × s × s source voxels from
// (x - s/2, y - s/2, z - s/2) on: for an odd s the median of the cube centred on the voxel.
// Labels are compared as numbers, so the result is the middle value of the neighbourhood,
// not its most frequent label. The window reads the source margin, which must be at least
// s/2 wide (the panel fills it with 0). Destination voxels outside the working region and
// the margins of both volumes stay as they are.
//
// Returns false at once, without writing or reporting, when s is outside 1..MEDIAN_MAX_SIZE
// or the source margin is narrower than s/2. Otherwise it works through the working region
// slice by slice in z and calls `sliceDone` on the calling thread after each completed
// slice; a false answer stops it with the slices done so far written, and it returns false.
// An empty `sliceDone` always continues. Source and destination may share a buffer: the
// source is then read from a private copy, so the result is the same as from distinct
// volumes.
//
// Both methods are exact and give identical labels:
//   COUNTING  for each threshold between two labels present, running box sums count the
//             window voxels at or below it, and the median is the first label whose count
//             passes the rank. Time per voxel grows with the number of distinct labels
//             around the voxel and hardly with s; memory: 2 bytes per voxel of a z slice
//             and threshold. Windows s <= 40 only.
//   HISTOGRAM a histogram of the labels slides along x (one yz plane in, one out) and the
//             median is tracked from voxel to voxel. Time per voxel ~ 2 s², memory small.
// AUTOMATIC takes whichever is faster for the number of distinct labels and s. COUNTING,
// chosen or asked for, gives way to HISTOGRAM when it would need more than 256 MB or cannot
// have its memory. Threads share the rows of each slice; the result does not depend on
// their number. Other allocation failures throw std::bad_alloc before anything is written.

#include "toolkit/img/CVolume.h"

#include <cstdint>
#include <functional>

namespace seg {

//! The largest window size accepted (s³ stays far inside 32 bits).
constexpr std::int32_t MEDIAN_MAX_SIZE = 1023;

struct CMedianOptions
{
    enum class EMethod
    {
        AUTOMATIC,
        COUNTING,
        HISTOGRAM,
    };

    //! Threads sharing each slice, the calling thread included: 0 (the default) takes one
    //! per hardware thread (at most 8), 1 runs everything on the calling thread.
    int threads = 0;
    EMethod method = EMethod::AUTOMATIC;
};

//! Median of `size`³ windows of `source` into `destination`; see above for the contract.
bool medianFilter(const kvo::img::CVolume<std::uint16_t>& source, kvo::img::CVolume<std::uint16_t>& destination,
                  std::int32_t size, const std::function<bool()>& sliceDone = {},
                  const CMedianOptions& options = {});

} // namespace seg
