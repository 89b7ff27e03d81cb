#include "vctl/MCArena.h"

#include "toolkit/sys/MemoryLimit.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace vctl {

namespace {

//! BLOCK_SIZE bytes aligned to BLOCK_SIZE, zero-filled by the system, its pages mapped at
//! once when `populate`; null when refused.
//! Twice the size is mapped and the unaligned ends are given back.
char* mapBlock(bool populate)
{
    const std::size_t size = MCArena::BLOCK_SIZE;
    void* mapped = mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + size - 1) & ~(size - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    const std::uintptr_t tail = aligned + size;
    if (start + 2 * size > tail)
        munmap(reinterpret_cast<void*>(tail), start + 2 * size - tail);
#ifdef MADV_POPULATE_WRITE
    // One call maps all pages of the block instead of one fault per page.
    if (populate)
        madvise(reinterpret_cast<void*>(aligned), size, MADV_POPULATE_WRITE); // advice only
#else
    (void)populate;
#endif
    return reinterpret_cast<char*>(aligned);
}

} // namespace

MCArena::~MCArena()
{
    for (std::uint32_t i = 0; i < m_blockCount; ++i)
        munmap(m_table[i], BLOCK_SIZE);
    std::free(m_table);
}

void MCArena::throwForeign()
{
    throw std::invalid_argument("mesh entities of two different meshes cannot be linked");
}

std::uint64_t MCArena::getBytes() const
{
    return std::uint64_t(m_blockCount) * BLOCK_SIZE + std::uint64_t(m_tableCapacity) * sizeof(char*);
}

std::uint32_t MCArena::getSlotBound(EKind kind) const
{
    // Every block of a kind holds entities of that kind's one size; the newest block tells it.
    if (m_kinds[kind].blocks == 0)
        return 0;
    const CBlockHeader* header = headerOf(m_kinds[kind].end - 1);
    return m_kinds[kind].blocks * entitiesPerBlock(header->entitySize);
}

void MCArena::addBlock(EKind kind, std::uint32_t size)
{
    if (size == 0 || size % 4 != 0 || size > 1024)
        throw std::invalid_argument("mesh entity size out of range");
    if (m_blockCount == MAX_BLOCKS)
        throw std::bad_alloc();
    kvo::sys::checkMemory(getBytes() + BLOCK_SIZE, "The surface mesh");
    if (m_blockCount == m_tableCapacity)
    {
        // Blocks keep the table's address in their headers: all of them learn the new one.
        const std::uint32_t capacity = m_tableCapacity ? 2 * m_tableCapacity : 4;
        auto** table = static_cast<char**>(std::realloc(m_table, capacity * sizeof(char*)));
        if (!table)
            throw std::bad_alloc();
        m_table = table;
        m_tableCapacity = capacity;
        for (std::uint32_t i = 0; i < m_blockCount; ++i)
            reinterpret_cast<CBlockHeader*>(m_table[i])->table = m_table;
    }
    // A kind's first block fills page by page, so that small meshes stay small; the later
    // ones will be filled.
    char* block = mapBlock(m_kinds[kind].blocks > 0);
    if (!block)
        throw std::bad_alloc();
    CKind& state = m_kinds[kind];
    auto* header = reinterpret_cast<CBlockHeader*>(block);
    header->table = m_table;
    header->arena = this;
    header->index = m_blockCount;
    header->ordinal = state.blocks;
    header->entitySize = size;
    header->kind = static_cast<std::uint32_t>(kind);
    m_table[m_blockCount++] = block;
    ++state.blocks;
    state.cursor = block + HEADER_SIZE;
    state.end = state.cursor + std::size_t(entitiesPerBlock(size)) * size;
}

void* MCArena::allocateSlowly(EKind kind, std::uint32_t size)
{
    CKind& state = m_kinds[kind];
    void* room;
    if (state.freeList)
    {
        // A released entity keeps the handle of the next one in its first four bytes.
        room = decode<char>(m_table[0], state.freeList);
        std::memcpy(&state.freeList, room, sizeof state.freeList);
    }
    else
    {
        if (state.cursor == state.end)
            addBlock(kind, size);
        room = state.cursor;
        state.cursor += size;
    }
    ++state.live;
    return room;
}

void MCArena::release(EKind kind, void* entity)
{
    CKind& state = m_kinds[kind];
    std::memcpy(entity, &state.freeList, sizeof state.freeList);
    state.freeList = rawHandle(headerOf(entity), entity);
    --state.live;
}

} // namespace vctl
