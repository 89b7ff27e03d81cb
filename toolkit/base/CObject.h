#pragma once
// Intrusive reference counting for toolkit objects.
//
// An object created on the heap with `new` starts with a count of 0 and is deleted by the
// release that brings the count back to 0. Any other object (on the stack, a member, in
// global memory) starts at 1 and is never deleted by a release, so handing it to a holder
// is harmless.
//
// The heap marker: CObject::operator new records the block it hands out; the CObject
// constructor looks its own address up among the pending blocks and, when found, stores
// the marker 0x70616568 ("heap") and starts at 0. Recording the block rather than writing
// into the raw memory keeps the scheme safe from the optimiser's dead-store elimination of
// stores made before a constructor runs.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace kvo::base {

class CObject
{
public:
    static constexpr std::uint32_t HEAP_MARKER = 0x70616568u;

    CObject();
    CObject(const CObject&);
    CObject& operator=(const CObject&) { return *this; }
    virtual ~CObject();

    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void*, void*) noexcept {}

    //! Adds one reference.
    void addReference() noexcept { ++m_references; }

    //! Drops one reference; deletes a heap object when the count reaches 0.
    //! Returns true when the object was deleted.
    bool release() noexcept;

    std::int32_t getReferencesCount() const noexcept { return m_references.load(); }
    bool isOnHeap() const noexcept { return m_marker == HEAP_MARKER; }

private:
    void initMarker() noexcept;

    std::uint32_t m_marker;
    // Atomic because storage entries are referenced from every thread that takes an
    // object pointer, while the entry's own locks guard only its content.
    std::atomic<std::int32_t> m_references;
};

//! Holder of a reference to a CObject-derived object (intrusive shared pointer).
template <class T>
class CRefPtr
{
public:
    CRefPtr() noexcept = default;
    CRefPtr(T* object) noexcept : m_object(object) { if (m_object) m_object->addReference(); }
    CRefPtr(const CRefPtr& other) noexcept : CRefPtr(other.m_object) {}
    CRefPtr(CRefPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    template <class U>
    CRefPtr(const CRefPtr<U>& other) noexcept : CRefPtr(other.get()) {}
    ~CRefPtr() { reset(); }

    CRefPtr& operator=(const CRefPtr& other) noexcept { CRefPtr(other).swap(*this); return *this; }
    CRefPtr& operator=(CRefPtr&& other) noexcept { CRefPtr(std::move(other)).swap(*this); return *this; }
    CRefPtr& operator=(T* object) noexcept { CRefPtr(object).swap(*this); return *this; }

    void reset() noexcept
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->release();
    }
    void swap(CRefPtr& other) noexcept { std::swap(m_object, other.m_object); }

    T* get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};

template <class T, class U>
bool operator==(const CRefPtr<T>& a, const CRefPtr<U>& b) noexcept { return a.get() == b.get(); }

} // namespace kvo::base
