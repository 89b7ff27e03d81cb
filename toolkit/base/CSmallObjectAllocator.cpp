#include "toolkit/base/CSmallObjectAllocator.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace kvo::base {

// ---------------------------------------------------------------------------------------
// CFixedAllocator
// ---------------------------------------------------------------------------------------

CFixedAllocator::CFixedAllocator(std::size_t blockSize, std::size_t chunkSize)
    : m_blockSize(blockSize == 0 ? 1 : blockSize)
{
    // A block index must fit the one byte that a free block stores, and a chunk with too
    // few blocks would cost more in chunk records than it saves.
    std::size_t blocks = chunkSize / m_blockSize;
    if (blocks >= 256)
        blocks = 255;
    if (blocks < 8)
        blocks = 8;
    m_blocksPerChunk = static_cast<std::uint8_t>(blocks);
}

CFixedAllocator::CFixedAllocator(CFixedAllocator&& other) noexcept
    : m_blockSize(other.m_blockSize), m_blocksPerChunk(other.m_blocksPerChunk),
      m_chunks(std::move(other.m_chunks)), m_allocChunk(other.m_allocChunk),
      m_deallocChunk(other.m_deallocChunk), m_reserveChunk(other.m_reserveChunk), m_fullBelow(other.m_fullBelow)
{
    other.m_chunks.clear();
    other.m_allocChunk = other.m_deallocChunk = other.m_reserveChunk = NONE;
}

CFixedAllocator::~CFixedAllocator()
{
    for (CChunk& chunk : m_chunks)
        std::free(chunk.data);
}

bool CFixedAllocator::contains(const CChunk& chunk, const void* p) const
{
    const unsigned char* q = static_cast<const unsigned char*>(p);
    return q >= chunk.data && q < chunk.data + m_blockSize * m_blocksPerChunk;
}

std::size_t CFixedAllocator::getNumOfUsedBlocks() const
{
    std::size_t used = 0;
    for (const CChunk& chunk : m_chunks)
        used += m_blocksPerChunk - chunk.freeCount;
    return used;
}

bool CFixedAllocator::makeChunk()
{
    // The array grows by doubling (8 when empty) so that chunk records move rarely; the
    // chunks are referred to by index, which survives the move.
    if (m_chunks.size() == m_chunks.capacity())
    {
        try
        {
            m_chunks.reserve(m_chunks.empty() ? 8 : m_chunks.capacity() * 2);
        }
        catch (const std::bad_alloc&)
        {
            return false;
        }
    }
    CChunk chunk;
    chunk.data = static_cast<unsigned char*>(std::malloc(m_blockSize * m_blocksPerChunk));
    if (!chunk.data)
        return false;
    // Thread the free list: the first byte of block i names block i + 1.
    for (unsigned i = 0; i < m_blocksPerChunk; ++i)
        chunk.data[i * m_blockSize] = static_cast<unsigned char>(i + 1);
    chunk.firstFree = 0;
    chunk.freeCount = m_blocksPerChunk;
    m_chunks.push_back(chunk);
    return true;
}

void* CFixedAllocator::allocate()
{
    if (m_allocChunk == NONE || isFull(m_chunks[m_allocChunk]))
    {
        if (m_reserveChunk != NONE)
        {
            m_allocChunk = m_reserveChunk;
            m_reserveChunk = NONE;
        }
        else
        {
            // The first chunk with a free block. While a mesh is built no block comes back,
            // every chunk is full, and without the lower bound each new chunk would cost a
            // scan of all the others.
            m_allocChunk = NONE;
            for (std::size_t i = m_fullBelow; i < m_chunks.size(); ++i)
            {
                if (!isFull(m_chunks[i]))
                {
                    m_allocChunk = static_cast<std::ptrdiff_t>(i);
                    break;
                }
            }
            m_fullBelow = m_allocChunk == NONE ? m_chunks.size() : static_cast<std::size_t>(m_allocChunk);
            if (m_allocChunk == NONE)
            {
                if (!makeChunk())
                    return nullptr;
                m_allocChunk = static_cast<std::ptrdiff_t>(m_chunks.size()) - 1;
                if (m_deallocChunk == NONE)
                    m_deallocChunk = m_allocChunk;
            }
        }
    }
    // A reserve chunk that received the allocation is no longer free.
    if (m_allocChunk == m_reserveChunk)
        m_reserveChunk = NONE;

    CChunk& chunk = m_chunks[m_allocChunk];
    unsigned char* block = chunk.data + chunk.firstFree * m_blockSize;
    chunk.firstFree = *block;
    --chunk.freeCount;
    return block;
}

std::ptrdiff_t CFixedAllocator::findChunk(const void* p) const
{
    // Blocks tend to be released near where they were allocated: search outwards from
    // the chunk of the last release, alternately one lower and one higher.
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(m_chunks.size());
    if (count == 0)
        return NONE;
    const std::ptrdiff_t start = (m_deallocChunk >= 0 && m_deallocChunk < count) ? m_deallocChunk : 0;
    std::ptrdiff_t low = start;
    std::ptrdiff_t high = start + 1;
    while (low >= 0 || high < count)
    {
        if (low >= 0)
        {
            if (contains(m_chunks[low], p))
                return low;
            --low;
        }
        if (high < count)
        {
            if (contains(m_chunks[high], p))
                return high;
            ++high;
        }
    }
    return NONE;
}

bool CFixedAllocator::deallocate(void* p)
{
    const std::ptrdiff_t found = findChunk(p);
    if (found == NONE)
        return false;
    m_deallocChunk = found;
    m_fullBelow = std::min(m_fullBelow, static_cast<std::size_t>(found));

    CChunk& chunk = m_chunks[found];
    unsigned char* block = static_cast<unsigned char*>(p);
    const std::size_t index = static_cast<std::size_t>(block - chunk.data) / m_blockSize;
    *block = chunk.firstFree;
    chunk.firstFree = static_cast<std::uint8_t>(index);
    ++chunk.freeCount;

    if (!isEmpty(chunk))
        return true;

    // Completely free: keep one such chunk in reserve, give a second one back to the heap.
    // The chunk given back is always the last of the array (contents swapped into place
    // when needed), so the array never has holes.
    if (m_reserveChunk != NONE)
    {
        const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(m_chunks.size()) - 1;
        if (last == m_deallocChunk)
            m_deallocChunk = m_reserveChunk;
        else if (last != m_reserveChunk)
        {
            std::swap(m_chunks[m_reserveChunk], m_chunks[last]);
            m_fullBelow = std::min(m_fullBelow, static_cast<std::size_t>(m_reserveChunk));
        }
        std::free(m_chunks[last].data);
        m_chunks.pop_back();
        m_fullBelow = std::min(m_fullBelow, m_chunks.size());
        if (m_allocChunk == last || (m_allocChunk != NONE && isFull(m_chunks[m_allocChunk])))
            m_allocChunk = m_deallocChunk;
    }
    m_reserveChunk = m_deallocChunk;
    return true;
}

bool CFixedAllocator::trimExcessMemory()
{
    bool freed = false;
    if (m_reserveChunk != NONE)
    {
        const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(m_chunks.size()) - 1;
        if (last != m_reserveChunk)
            std::swap(m_chunks[m_reserveChunk], m_chunks[last]);
        m_fullBelow = std::min(m_fullBelow, static_cast<std::size_t>(m_reserveChunk));
        std::free(m_chunks[last].data);
        m_chunks.pop_back();
        m_fullBelow = std::min(m_fullBelow, m_chunks.size());
        m_reserveChunk = NONE;
        // The hints may have named either of the two swapped places.
        if (m_allocChunk == last || m_allocChunk >= static_cast<std::ptrdiff_t>(m_chunks.size()))
            m_allocChunk = NONE;
        if (m_deallocChunk >= static_cast<std::ptrdiff_t>(m_chunks.size()))
            m_deallocChunk = m_chunks.empty() ? NONE : 0;
        freed = true;
    }
    if (m_chunks.capacity() > m_chunks.size())
    {
        m_chunks.shrink_to_fit();
        freed = true;
    }
    return freed;
}

// ---------------------------------------------------------------------------------------
// CSmallObjectAllocator
// ---------------------------------------------------------------------------------------

CSmallObjectAllocator::CSmallObjectAllocator(std::size_t chunkSize, std::size_t maxObjectSize,
                                             std::size_t alignment)
    : m_maxObjectSize(maxObjectSize), m_alignment(alignment == 0 ? 1 : alignment)
{
    const std::size_t pools = (m_maxObjectSize + m_alignment - 1) / m_alignment;
    m_pools.reserve(pools);
    for (std::size_t i = 0; i < pools; ++i)
        m_pools.emplace_back(m_alignment * (i + 1), chunkSize);
}

CSmallObjectAllocator::~CSmallObjectAllocator() = default;

void* CSmallObjectAllocator::allocate(std::size_t size)
{
    if (size > m_maxObjectSize)
    {
        if (void* p = std::malloc(size))
            return p;
        throw std::bad_alloc();
    }
    CFixedAllocator& pool = m_pools[poolIndex(size)];
    if (void* p = pool.allocate())
        return p;
    // Out of memory: give back what every pool keeps spare and try once more.
    if (trimExcessMemory())
    {
        if (void* p = pool.allocate())
            return p;
    }
    throw std::bad_alloc();
}

void CSmallObjectAllocator::deallocate(void* p, std::size_t size) noexcept
{
    if (!p)
        return;
    if (size > m_maxObjectSize)
    {
        std::free(p);
        return;
    }
    // A block that no chunk holds (an allocator destroyed and created again meanwhile)
    // is left alone rather than corrupting a chunk.
    m_pools[poolIndex(size)].deallocate(p);
}

bool CSmallObjectAllocator::trimExcessMemory()
{
    bool freed = false;
    for (CFixedAllocator& pool : m_pools)
        freed = pool.trimExcessMemory() || freed;
    return freed;
}

} // namespace kvo::base
