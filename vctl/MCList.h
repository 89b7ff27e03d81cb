#pragma once
// A doubly linked list threaded through its nodes (T derives from MCListNode<T>). The list
// does not own the nodes; MCEntitieS, built on it, does.

#include <cstdint>

namespace vctl {

template <class T>
class MCList
{
public:
    std::int32_t getCount() const { return m_count; }
    T* getFirst() const { return m_first; }
    T* getLast() const { return m_last; }
    bool isEmpty() const { return m_first == nullptr; }

    //! Appends a node that belongs to no list.
    void append(T* node)
    {
        node->setPrev(m_last);
        node->setNext(nullptr);
        if (m_last)
            m_last->setNext(node);
        else
            m_first = node;
        m_last = node;
        ++m_count;
    }

    //! Removes a node of this list; its links become null.
    void unlink(T* node)
    {
        T* prev = node->getPrev();
        T* next = node->getNext();
        if (prev)
            prev->setNext(next);
        else
            m_first = next;
        if (next)
            next->setPrev(prev);
        else
            m_last = prev;
        node->setPrev(nullptr);
        node->setNext(nullptr);
        --m_count;
    }

protected:
    //! Forgets every node (does not destroy them).
    void reset()
    {
        m_count = 0;
        m_first = nullptr;
        m_last = nullptr;
    }

    std::int32_t m_count = 0;
    T* m_first = nullptr;
    T* m_last = nullptr;
};

} // namespace vctl
