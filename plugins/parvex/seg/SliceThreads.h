#pragma once
// How many threads share the rows of each slice in the label algorithms (thresholding,
// dilation and erosion): the requested count, or one per hardware thread (at most
// MAX_THREADS) for 0 or less; one thread for slices too small to be worth handing out; never
// more threads than rows.

#include <algorithm>
#include <cstdint>
#include <thread>

namespace seg {

//! Below this many voxels per slice the hand-over to the workers costs more than it saves.
inline constexpr std::int64_t MIN_VOXELS_PER_THREADED_SLICE = 64 * 1024;
inline constexpr int MAX_THREADS = 8;

inline int effectiveThreads(int requested, std::int64_t sliceVoxels, std::int32_t ySize)
{
    int threads = requested;
    if (threads <= 0)
        threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, MAX_THREADS);
    if (sliceVoxels < MIN_VOXELS_PER_THREADED_SLICE)
        threads = 1;
    return std::clamp(threads, 1, std::max<std::int32_t>(ySize, 1));
}

} // namespace seg
