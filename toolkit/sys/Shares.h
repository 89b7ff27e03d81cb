#pragma once
// Work split into shares that run on the processors at once: a volume's slices, a file's
// parts, a range of pages.

#include <cstddef>
#include <functional>

namespace kvo::sys {

//! How many shares to split work into: one a processor, at most `most`, and at most
//! `useful` (the work's own limit, e.g. its size over the least a share should take);
//! at least 1.
std::size_t shareCount(std::size_t most, std::size_t useful) noexcept;

//! Runs work(k) for every k in [0, shares): share 0 on the calling thread, the others on
//! threads of their own, or on the calling thread too when no thread can be had. Returns
//! when every share is done. `work` must not throw: each share keeps its own result.
void runShares(std::size_t shares, const std::function<void(std::size_t)>& work);

} // namespace kvo::sys
