#include "toolkit/base/CObject.h"

#include <new>

namespace kvo::base {

namespace {

// Blocks handed out by CObject::operator new whose CObject part is not constructed yet.
// A constructor may allocate further objects before its CObject base runs (when CObject is
// not the first base), hence a small stack rather than a single slot.
struct CPendingBlock
{
    const char* begin;
    const char* end;
};
constexpr int MAX_PENDING = 32;
thread_local CPendingBlock pendingBlocks[MAX_PENDING];
thread_local int pendingCount = 0;

} // namespace

void* CObject::operator new(std::size_t size)
{
    void* block = ::operator new(size);
    if (pendingCount < MAX_PENDING)
    {
        const char* begin = static_cast<const char*>(block);
        pendingBlocks[pendingCount++] = {begin, begin + size};
    }
    return block;
}

void CObject::operator delete(void* p) noexcept
{
    // A constructor that threw leaves its block pending: forget it.
    const char* address = static_cast<const char*>(p);
    for (int i = pendingCount - 1; i >= 0; --i)
    {
        if (pendingBlocks[i].begin == address)
        {
            pendingBlocks[i] = pendingBlocks[--pendingCount];
            break;
        }
    }
    ::operator delete(p);
}

void CObject::initMarker() noexcept
{
    m_marker = 0;
    const char* self = reinterpret_cast<const char*>(this);
    for (int i = pendingCount - 1; i >= 0; --i)
    {
        if (self >= pendingBlocks[i].begin && self < pendingBlocks[i].end)
        {
            m_marker = HEAP_MARKER;
            pendingBlocks[i] = pendingBlocks[--pendingCount];
            break;
        }
    }
    m_references = (m_marker == HEAP_MARKER) ? 0 : 1;
}

CObject::CObject() { initMarker(); }

CObject::CObject(const CObject&) : CObject() {}

CObject::~CObject() { m_marker = 0; }

bool CObject::release() noexcept
{
    if (--m_references == 0 && m_marker == HEAP_MARKER)
    {
        delete this;
        return true;
    }
    return false;
}

} // namespace kvo::base
