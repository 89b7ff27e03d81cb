#pragma once
// Allocation of the 16-byte aligned element blocks of vectors and matrices, so that loops
// over doubles may be vectorised. A count of 0 gives null; failure throws std::bad_alloc.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace kvo::math {

inline constexpr std::size_t BLOCK_ALIGNMENT = 16;

template <typename T>
T* allocateAlignedBlock(std::size_t count)
{
    if (count == 0)
        return nullptr;
    if (count > (SIZE_MAX - BLOCK_ALIGNMENT) / sizeof(T))
        throw std::bad_alloc();
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t bytes = (count * sizeof(T) + BLOCK_ALIGNMENT - 1) / BLOCK_ALIGNMENT * BLOCK_ALIGNMENT;
    void* memory = std::aligned_alloc(BLOCK_ALIGNMENT, bytes);
    if (!memory)
        throw std::bad_alloc();
    return static_cast<T*>(memory);
}

template <typename T>
void freeAlignedBlock(T* block) noexcept
{
    std::free(block);
}

} // namespace kvo::math
