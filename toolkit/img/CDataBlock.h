#pragma once
// The pixel buffer of images and volumes: a block of elements with its own reference count,
// shared between the objects that hold it.
//
// A block either owns memory taken from malloc (freed with the block; a large block is kept
// out of child processes, see kvo::sys::keepFromChildProcesses) or wraps memory that an
// external owner object keeps alive; the block then holds one reference to the owner and
// never frees the memory itself. Elements are never initialised by the block.
//
// Blocks live on the heap (created with new). The count starts at 1 for the creator;
// release() deletes the block when it reaches 0.
// Counting is not thread-safe, like the rest of the toolkit's reference counting.

#include "toolkit/base/CObject.h"
#include "toolkit/sys/MemoryPages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace kvo::img {

template <typename T>
class CDataBlock
{
    static_assert(std::is_trivially_copyable_v<T>, "pixel buffers hold plain values");

public:
    //! Allocates `count` uninitialised elements with malloc (a count of 0 holds no memory).
    //! Throws std::bad_alloc when the memory cannot be had.
    explicit CDataBlock(std::size_t count) : m_data(allocate(count)), m_size(count) {}

    //! Wraps `count` elements at `memory`, which `owner` keeps alive; takes a reference to
    //! the owner for the lifetime of the block (or until a resize detaches from it).
    CDataBlock(T* memory, std::size_t count, kvo::base::CObject& owner)
        : m_data(memory), m_size(count), m_owner(&owner) {}

    //! A block of `count` elements that read as zero, from calloc: a large block is fresh
    //! pages that cost nothing until they are written. Throws std::bad_alloc like the
    //! allocating constructor.
    static CDataBlock* createZeroed(std::size_t count)
    {
        if (count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* memory = count ? std::calloc(count, sizeof(T)) : nullptr;
        if (count && !memory)
            throw std::bad_alloc();
        auto* block = new (std::nothrow) CDataBlock(std::size_t(0));
        if (!block)
        {
            std::free(memory);
            throw std::bad_alloc();
        }
        block->m_data = static_cast<T*>(memory);
        block->m_size = count;
        block->m_zeroed = true;
        kvo::sys::keepFromChildProcesses(memory, count * sizeof(T));
        return block;
    }

    CDataBlock(const CDataBlock&) = delete;
    CDataBlock& operator=(const CDataBlock&) = delete;

    ~CDataBlock()
    {
        if (!m_owner)
            std::free(m_data);
    }

    void addReference() noexcept { ++m_references; }

    //! Drops one reference; deletes the block at 0. Returns true when the block was deleted.
    bool release() noexcept
    {
        if (--m_references > 0)
            return false;
        delete this;
        return true;
    }

    std::int32_t getReferencesCount() const noexcept { return m_references; }
    bool isShared() const noexcept { return m_references > 1; }
    bool hasOwner() const noexcept { return static_cast<bool>(m_owner); }

    T* getData() const noexcept { return m_data; }
    //! Whether the memory came from createZeroed(). Its pages that nobody wrote since are
    //! the system's shared zero page, and the first write to each costs more than writing
    //! to fresh memory: a hint for choosing where a filter writes, never for what the
    //! memory holds.
    bool isZeroedMemory() const noexcept { return m_zeroed; }
    //! Number of elements.
    std::size_t getSize() const noexcept { return m_size; }

    //! Gives `block` (of which the caller holds one reference) `count` elements and returns
    //! the block that holds them, the caller's reference having moved to it:
    //! - not shared, count in [old / 2, old]: the same block, memory untouched;
    //! - not shared, no owner: the same block, memory moved by realloc;
    //! - not shared, with an owner: the same block, owner dropped, fresh memory;
    //! - shared: a fresh block; the caller's reference to the old one is released.
    //! Fresh memory is uninitialised. On std::bad_alloc the caller's block is unchanged.
    static CDataBlock* resize(CDataBlock* block, std::size_t count)
    {
        if (block->isShared())
        {
            CDataBlock* fresh = new CDataBlock(count);
            block->release();
            return fresh;
        }
        if (count <= block->m_size && count >= block->m_size / 2)
        {
            block->m_size = count;
            return block;
        }
        if (block->m_owner)
        {
            T* memory = allocate(count);
            block->m_owner.reset();
            block->m_data = memory;
            block->m_size = count;
            return block;
        }
        block->reallocate(count);
        return block;
    }

private:
    static T* allocate(std::size_t count)
    {
        if (count == 0)
            return nullptr;
        if (count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* memory = std::malloc(count * sizeof(T));
        if (!memory)
            throw std::bad_alloc();
        kvo::sys::keepFromChildProcesses(memory, count * sizeof(T));
        return static_cast<T*>(memory);
    }

    void reallocate(std::size_t count)
    {
        m_zeroed = false;
        if (count == 0)
        {
            // realloc(p, 0) may or may not free; be explicit.
            std::free(m_data);
            m_data = nullptr;
            m_size = 0;
            return;
        }
        if (count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* memory = std::realloc(m_data, count * sizeof(T));
        if (!memory)
            throw std::bad_alloc(); // the old block is still valid and still ours
        m_data = static_cast<T*>(memory);
        m_size = count;
        kvo::sys::keepFromChildProcesses(memory, count * sizeof(T));
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    bool m_zeroed = false;
    std::int32_t m_references = 1;
    kvo::base::CRefPtr<kvo::base::CObject> m_owner;
};

} // namespace kvo::img
