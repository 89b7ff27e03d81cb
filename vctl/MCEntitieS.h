#pragma once
// Base of the entity containers: an owning doubly linked list and a keyed queue (an
// ordered multimap from a key to an entity, e.g. edges keyed by their collapse cost).

#include "vctl/MCList.h"

#include <map>
#include <stdexcept>

namespace vctl {

template <class T>
class MCEntitieS : public MCList<T>
{
public:
    using tQueue = std::multimap<double, T*>;

    MCEntitieS() = default;
    MCEntitieS(const MCEntitieS&) = delete;
    MCEntitieS& operator=(const MCEntitieS&) = delete;

    //! Destroys all entities.
    virtual ~MCEntitieS() { destroyAll(); }

    //! Destroys all entities and empties the queue.
    virtual void clear()
    {
        destroyAll();
        m_queue.clear();
    }

    //! Unlinks an entity of this container and destroys it.
    void destroy(T* entity)
    {
        this->unlink(entity);
        delete entity;
    }

    //! Queue of entities by key.
    tQueue& getQueue() { return m_queue; }
    const tQueue& getQueue() const { return m_queue; }
    typename tQueue::iterator queueInsert(double key, T* entity) { return m_queue.emplace(key, entity); }

    //! Removes the pair (key, entity). Nothing happens when the queue is empty; a pair that
    //! is not in a non-empty queue is a logic error.
    void queueRemove(double key, T* entity)
    {
        if (m_queue.empty())
            return;
        auto range = m_queue.equal_range(key);
        for (auto it = range.first; it != range.second; ++it)
        {
            if (it->second == entity)
            {
                m_queue.erase(it);
                return;
            }
        }
        throw std::logic_error("Chyba mazani entity podle klice z fronty, neni ve fronte");
    }

protected:
    void destroyAll()
    {
        T* entity = this->m_first;
        while (entity)
        {
            T* next = entity->getNext();
            delete entity;
            entity = next;
        }
        this->reset();
    }

    tQueue m_queue;
};

} // namespace vctl
