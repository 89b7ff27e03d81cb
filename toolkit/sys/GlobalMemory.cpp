#include "toolkit/sys/GlobalMemory.h"

#include <cstdlib>
#include <new>

namespace kvo::sys {

namespace {

// The handle points at this header; the user block follows it, aligned for any type.
struct alignas(std::max_align_t) CGlobalBlock
{
    std::size_t size;
    std::uint32_t locks;
    std::uint32_t magic;
};
constexpr std::uint32_t BLOCK_MAGIC = 0x474c4f42u;

CGlobalBlock* toBlock(HGLOBAL handle) noexcept
{
    auto* block = static_cast<CGlobalBlock*>(handle);
    return (block && block->magic == BLOCK_MAGIC) ? block : nullptr;
}

} // namespace

HGLOBAL GlobalAlloc(std::uint32_t, std::size_t size) noexcept
{
    void* memory = std::malloc(sizeof(CGlobalBlock) + size);
    if (!memory)
        return nullptr;
    auto* block = new (memory) CGlobalBlock{size, 0, BLOCK_MAGIC};
    return block;
}

void* GlobalLock(HGLOBAL handle) noexcept
{
    CGlobalBlock* block = toBlock(handle);
    if (!block)
        return nullptr;
    ++block->locks;
    return block + 1;
}

bool GlobalUnlock(HGLOBAL handle) noexcept
{
    CGlobalBlock* block = toBlock(handle);
    if (!block || block->locks == 0)
        return false;
    return --block->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) noexcept
{
    CGlobalBlock* block = toBlock(handle);
    if (!block)
        return handle;
    block->magic = 0;
    std::free(block);
    return nullptr;
}

} // namespace kvo::sys
