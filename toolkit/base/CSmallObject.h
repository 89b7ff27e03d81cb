#pragma once
// Opt-in base classes that route a class's new and delete to the library's small-object
// allocator (CSmallObjectAllocator.h). Objects up to MaxObjectSize bytes come from the
// pools, larger ones from malloc. Derive from CSmallObject when the class is deleted through
// a base pointer (virtual destructor, so delete receives the dynamic size), from
// CSmallValueObject otherwise (no virtual table; delete it only through its own type).
// Not thread-safe: all users run on one thread.

#include "toolkit/base/CSmallObjectAllocator.h"

#include <cstddef>
#include <new>

namespace kvo::base {

template <std::size_t ChunkSize = 4096, std::size_t MaxObjectSize = 256, std::size_t Alignment = 4>
class CSmallObjectBase
{
public:
    using tAllocator = CSmallObjectAllocatorInstance<ChunkSize, MaxObjectSize, Alignment>;

    //! The library's allocator for these parameters, created on first use.
    static CSmallObjectAllocator& getAllocator() { return CSingletonHolder<tAllocator>::getInstance(); }

    static void* operator new(std::size_t size) { return getAllocator().allocate(size); }
    static void operator delete(void* p, std::size_t size) noexcept
    {
        if (p)
            getAllocator().deallocate(p, size);
    }
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}

protected:
    CSmallObjectBase() = default;
    ~CSmallObjectBase() = default;
};

//! Small object deleted through base pointers.
template <std::size_t ChunkSize = 4096, std::size_t MaxObjectSize = 256, std::size_t Alignment = 4>
class CSmallObject : public CSmallObjectBase<ChunkSize, MaxObjectSize, Alignment>
{
public:
    virtual ~CSmallObject() = default;
};

//! Small object without a virtual table.
template <std::size_t ChunkSize = 4096, std::size_t MaxObjectSize = 256, std::size_t Alignment = 4>
class CSmallValueObject : public CSmallObjectBase<ChunkSize, MaxObjectSize, Alignment>
{
public:
    ~CSmallValueObject() = default;
};

} // namespace kvo::base
