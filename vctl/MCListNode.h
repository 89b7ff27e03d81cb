#pragma once
// Links of an entity in the doubly linked list of its container, kept as handles of the
// mesh's arena (MCArena): an entity lives in an arena block, so a link costs four bytes.

#include "vctl/MCArena.h"

#include <cstdint>

namespace vctl {

template <class T>
class MCListNode
{
public:
    T* getPrev() const { return MCArena::decode<T>(this, m_prev); }
    T* getNext() const { return MCArena::decode<T>(this, m_next); }
    //! prev and next must be entities of the same mesh (or null).
    void setPrev(T* prev) { m_prev = MCArena::encode(this, prev); }
    void setNext(T* next) { m_next = MCArena::encode(this, next); }

protected:
    std::uint32_t m_prev = 0;
    std::uint32_t m_next = 0;
};

} // namespace vctl
