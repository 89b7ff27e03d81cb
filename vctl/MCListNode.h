#pragma once
// Links of an entity in the doubly linked list of its container.

namespace vctl {

template <class T>
class MCListNode
{
public:
    T* getPrev() const { return m_prev; }
    T* getNext() const { return m_next; }
    void setPrev(T* prev) { m_prev = prev; }
    void setNext(T* next) { m_next = next; }

protected:
    T* m_prev = nullptr;
    T* m_next = nullptr;
};

} // namespace vctl
