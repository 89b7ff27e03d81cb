#pragma once
// Pool allocator for small, numerous objects (mesh vertices, edges, triangles).
//
// Memory comes in chunks of about `chunkSize` bytes cut into blocks of one size. A free
// block stores the index of the next free block in its first byte, so a chunk carries only
// two bytes of bookkeeping and holds at most 255 blocks. There is no per-block header: the
// caller passes the size of the object back on release, which selects the pool.
//
// Requests of more than `maxObjectSize` bytes go to malloc/free. Pool i serves blocks of
// alignment × (i + 1) bytes; a block starts at a multiple of its size from a malloc'ed
// chunk, so an object whose size is a multiple of its alignment is correctly aligned.
//
// No locking: every user runs on one thread (the GUI thread).

#include "toolkit/base/CSingleton.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvo::base {

//! One pool: chunks of blocks of one size.
class CFixedAllocator
{
public:
    //! A run of blocksPerChunk blocks of one size with an embedded free list.
    struct CChunk
    {
        unsigned char* data = nullptr;
        std::uint8_t firstFree = 0;
        std::uint8_t freeCount = 0;
    };

    //! blockSize > 0; chunkSize is the target size of a chunk in bytes.
    CFixedAllocator(std::size_t blockSize, std::size_t chunkSize);
    ~CFixedAllocator();
    CFixedAllocator(const CFixedAllocator&) = delete;
    CFixedAllocator& operator=(const CFixedAllocator&) = delete;
    CFixedAllocator(CFixedAllocator&& other) noexcept;
    CFixedAllocator& operator=(CFixedAllocator&&) = delete;

    //! A block, or null when no chunk could be created.
    void* allocate();

    //! Gives a block of this pool back. Returns false (and changes nothing) when no chunk
    //! of the pool holds p, e.g. for a block of an allocator that was destroyed since.
    bool deallocate(void* p);

    //! Frees the reserve chunk and shrinks the chunk array; true when anything was freed.
    bool trimExcessMemory();

    std::size_t getBlockSize() const { return m_blockSize; }
    std::uint8_t getBlocksPerChunk() const { return m_blocksPerChunk; }
    std::size_t getNumOfChunks() const { return m_chunks.size(); }
    std::size_t getChunkCapacity() const { return m_chunks.capacity(); }
    bool hasReserveChunk() const { return m_reserveChunk >= 0; }
    //! Number of blocks in use over all chunks.
    std::size_t getNumOfUsedBlocks() const;

private:
    static constexpr std::ptrdiff_t NONE = -1;

    bool isFull(const CChunk& chunk) const { return chunk.freeCount == 0; }
    bool isEmpty(const CChunk& chunk) const { return chunk.freeCount == m_blocksPerChunk; }
    bool contains(const CChunk& chunk, const void* p) const;
    bool makeChunk();
    std::ptrdiff_t findChunk(const void* p) const;

    std::size_t m_blockSize;
    std::uint8_t m_blocksPerChunk;
    std::vector<CChunk> m_chunks;
    std::ptrdiff_t m_allocChunk = NONE;    //!< chunk of the last allocation
    std::ptrdiff_t m_deallocChunk = NONE;  //!< chunk of the last release
    std::ptrdiff_t m_reserveChunk = NONE;  //!< at most one completely free chunk kept
    //! Every chunk below this index is full, so the search for a chunk with a free block
    //! may start here: the result is the first such chunk of the array all the same.
    std::size_t m_fullBelow = 0;
};

//! The allocator of one library: pools for every block size up to maxObjectSize.
class CSmallObjectAllocator
{
public:
    CSmallObjectAllocator(std::size_t chunkSize, std::size_t maxObjectSize, std::size_t alignment);
    ~CSmallObjectAllocator();
    CSmallObjectAllocator(const CSmallObjectAllocator&) = delete;
    CSmallObjectAllocator& operator=(const CSmallObjectAllocator&) = delete;

    //! A block of at least size bytes; throws std::bad_alloc when memory runs out.
    void* allocate(std::size_t size);

    //! Releases a block; size must be the size given to allocate. Null does nothing.
    void deallocate(void* p, std::size_t size) noexcept;

    //! Frees every pool's reserve chunk and unused array space; true when anything was freed.
    bool trimExcessMemory();

    std::size_t getMaxObjectSize() const { return m_maxObjectSize; }
    std::size_t getAlignment() const { return m_alignment; }
    std::size_t getNumOfPools() const { return m_pools.size(); }
    //! The pool that serves requests of size bytes (size ≤ max object size).
    const CFixedAllocator& getPool(std::size_t size) const { return m_pools[poolIndex(size)]; }

private:
    std::size_t poolIndex(std::size_t size) const
    {
        const std::size_t counted = size == 0 ? 1 : size; // a request of 0 bytes counts as 1
        return (counted + m_alignment - 1) / m_alignment - 1;
    }

    std::size_t m_maxObjectSize;
    std::size_t m_alignment;
    std::vector<CFixedAllocator> m_pools;
};

//! The library's allocator singleton for one set of parameters; destroyed at unload after
//! the shorter-lived singletons (lifetime 65535). Destroying it frees all chunks.
template <std::size_t ChunkSize, std::size_t MaxObjectSize, std::size_t Alignment>
class CSmallObjectAllocatorInstance : public CSmallObjectAllocator, public CSingleton<65535>
{
public:
    CSmallObjectAllocatorInstance() : CSmallObjectAllocator(ChunkSize, MaxObjectSize, Alignment) {}
};

} // namespace kvo::base
