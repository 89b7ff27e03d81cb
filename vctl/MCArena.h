#pragma once
// The memory of one mesh: blocks of 2 MiB, each aligned to its size and holding entities of
// one kind (vertices, edges or triangles), allocated by bumping a cursor and recycled
// through a free list per kind. Nothing is freed entity by entity: the blocks go back to
// the system with the arena.
//
// Entities link to each other by 32-bit handles instead of pointers: a handle names a
// block (its index in the arena's block table) and a 4-byte unit within it; 0 is null.
// An entity finds the table through the header at the start of its own block (its address
// rounded down to the block size), so any entity turns a handle of its arena into a
// pointer without global state; that works in every library that reads the mesh. A
// handle is only meaningful within its arena: links between entities of two meshes are
// refused. One arena holds at most 16 GiB (8192 blocks).
//
// Every new block is checked against the process-wide memory limit
// (kvo::sys::checkMemory) with the arena's whole size. Not thread-safe.

#include <cstddef>
#include <cstdint>

namespace vctl {

class MCArena
{
public:
    //! The kinds of entities; each has its own blocks, cursor and free list.
    enum EKind
    {
        KIND_VERTEX = 0,
        KIND_EDGE = 1,
        KIND_TRI = 2,
        KIND_COUNT = 3
    };

    static constexpr unsigned BLOCK_SHIFT = 21;
    static constexpr std::size_t BLOCK_SIZE = std::size_t(1) << BLOCK_SHIFT;
    static constexpr unsigned UNIT_SHIFT = 2;
    static constexpr unsigned OFFSET_BITS = BLOCK_SHIFT - UNIT_SHIFT;
    static constexpr std::uint32_t OFFSET_MASK = (std::uint32_t(1) << OFFSET_BITS) - 1;
    static constexpr std::uint32_t MAX_BLOCKS = std::uint32_t(1) << (32 - OFFSET_BITS);
    //! Bytes at the start of every block before its first entity.
    static constexpr std::size_t HEADER_SIZE = 64;
    //! Never a stored handle: the last unit of a block cannot start an entity.
    static constexpr std::uint32_t FOREIGN = 0xFFFFFFFFu;

    //! At the start of every block.
    struct CBlockHeader
    {
        char* const* table;       //!< block addresses by index, shared by the arena's blocks
        const MCArena* arena;     //!< the owner
        std::uint32_t index;      //!< this block's index in the table
        std::uint32_t ordinal;    //!< this block's number among the blocks of its kind
        std::uint32_t entitySize; //!< bytes per entity in this block
        std::uint32_t kind;
    };

    MCArena() = default;
    ~MCArena();
    MCArena(const MCArena&) = delete;
    MCArena& operator=(const MCArena&) = delete;

    //! Uninitialised room for one entity of `kind`, `size` bytes (a multiple of 4, at most
    //! 1 KiB, the same for every call of a kind). Throws kvo::sys::CMemoryLimitExceeded when
    //! a new block would take the arena past the memory limit, std::bad_alloc when the
    //! system refuses or the arena is full.
    void* allocate(EKind kind, std::uint32_t size)
    {
        CKind& state = m_kinds[kind];
        if (state.freeList || state.cursor == state.end)
            return allocateSlowly(kind, size);
        void* room = state.cursor;
        state.cursor += size;
        ++state.live;
        return room;
    }
    //! Takes back the room of an entity of this arena (its destructor must have run).
    void release(EKind kind, void* entity);

    //! Bytes taken from the system: blocks and block table.
    std::uint64_t getBytes() const;
    //! Entities of `kind` that exist (allocated and not released).
    std::uint64_t getLiveCount(EKind kind) const { return m_kinds[kind].live; }

    //! Every entity of `kind` has a slot number below this bound (see getSlot).
    std::uint32_t getSlotBound(EKind kind) const;
    //! A number of the entity unique among the live entities of its kind and arena, below
    //! getSlotBound: for tables indexed by entity.
    static std::uint32_t getSlot(const void* entity)
    {
        const CBlockHeader* header = headerOf(entity);
        const std::size_t offset = reinterpret_cast<std::uintptr_t>(entity) & (BLOCK_SIZE - 1);
        return header->ordinal * entitiesPerBlock(header->entitySize) +
               static_cast<std::uint32_t>((offset - HEADER_SIZE) / header->entitySize);
    }

    static constexpr std::uint32_t entitiesPerBlock(std::uint32_t size)
    {
        return static_cast<std::uint32_t>((BLOCK_SIZE - HEADER_SIZE) / size);
    }

    //! The header of the block holding p (p must lie in an arena block).
    static const CBlockHeader* headerOf(const void* p)
    {
        return reinterpret_cast<const CBlockHeader*>(reinterpret_cast<std::uintptr_t>(p) & ~(BLOCK_SIZE - 1));
    }
    //! The arena of an entity.
    static const MCArena* arenaOf(const void* entity) { return headerOf(entity)->arena; }

    //! The handle of `target` for a link stored in `self` (both in arena blocks): 0 for
    //! null. Throws std::invalid_argument when the two belong to different arenas.
    static std::uint32_t encode(const void* self, const void* target)
    {
        if (!target)
            return 0;
        const CBlockHeader* header = headerOf(target);
        if (header->arena != headerOf(self)->arena)
            throwForeign();
        return rawHandle(header, target);
    }
    //! As encode, but FOREIGN (matching no link) for a target of another arena: for
    //! comparisons with stored handles.
    static std::uint32_t find(const void* self, const void* target)
    {
        if (!target)
            return 0;
        const CBlockHeader* header = headerOf(target);
        return header->arena == headerOf(self)->arena ? rawHandle(header, target) : FOREIGN;
    }
    //! The handle of an entity (not null) within its own arena, unchecked.
    static std::uint32_t handleOf(const void* entity) { return rawHandle(headerOf(entity), entity); }
    //! The entity a handle stored in `self` names; null for 0.
    template <class T>
    static T* decode(const void* self, std::uint32_t handle)
    {
        if (!handle)
            return nullptr;
        const char* block = headerOf(self)->table[handle >> OFFSET_BITS];
        return reinterpret_cast<T*>(const_cast<char*>(block) + (std::size_t(handle & OFFSET_MASK) << UNIT_SHIFT));
    }

private:
    struct CKind
    {
        std::uint32_t freeList = 0; //!< handle of the first released entity
        char* cursor = nullptr;     //!< next unused room in the newest block
        char* end = nullptr;
        std::uint32_t blocks = 0;
        std::uint64_t live = 0;
    };

    static std::uint32_t rawHandle(const CBlockHeader* header, const void* target)
    {
        const std::size_t offset = reinterpret_cast<std::uintptr_t>(target) & (BLOCK_SIZE - 1);
        return header->index << OFFSET_BITS | static_cast<std::uint32_t>(offset >> UNIT_SHIFT);
    }
    [[noreturn]] static void throwForeign();
    void* allocateSlowly(EKind kind, std::uint32_t size);
    void addBlock(EKind kind, std::uint32_t size);

    CKind m_kinds[KIND_COUNT];
    char** m_table = nullptr;
    std::uint32_t m_blockCount = 0;
    std::uint32_t m_tableCapacity = 0;
};

} // namespace vctl
