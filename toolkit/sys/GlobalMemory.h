#pragma once
// A small portable stand-in for the platform's global memory calls: a fixed block is
// allocated, locked to obtain its address, unlocked and freed by its handle.

#include <cstddef>
#include <cstdint>

namespace kvo::sys {

using HGLOBAL = void*;

//! Allocates a block of `size` bytes; `flags` are accepted for compatibility and ignored
//! (0 = fixed block). Returns null when memory cannot be had.
HGLOBAL GlobalAlloc(std::uint32_t flags, std::size_t size) noexcept;
//! Returns the address of the block and counts one lock; null for a null handle.
void* GlobalLock(HGLOBAL handle) noexcept;
//! Drops one lock; returns true while the block is still locked.
bool GlobalUnlock(HGLOBAL handle) noexcept;
//! Frees the block; returns null on success, the handle on failure.
HGLOBAL GlobalFree(HGLOBAL handle) noexcept;

} // namespace kvo::sys
