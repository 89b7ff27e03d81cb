#pragma once
// Base of the entity containers: an owning doubly linked list and a keyed queue (an
// ordered multimap from a key to an entity, e.g. edges keyed by their collapse cost).
// The entities live in the mesh's arena (MCArena): a destroyed entity's room is reused by
// the next one of its kind, and all memory goes back with the arena's owner, the vertex
// container.

#include "vctl/MCArena.h"
#include "vctl/MCList.h"

#include <map>
#include <stdexcept>
#include <type_traits>

namespace vctl {

template <class T>
class MCEntitieS : public MCList<T>
{
public:
    using tQueue = std::multimap<double, T*>;

    MCEntitieS(const MCEntitieS&) = delete;
    MCEntitieS& operator=(const MCEntitieS&) = delete;

    //! Entities need no destruction one by one: the arena frees them all.
    virtual ~MCEntitieS() = default;

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
        m_arena->release(m_kind, entity);
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
    static_assert(std::is_trivially_destructible_v<T>, "arena entities are released without destruction");

    explicit MCEntitieS(MCArena::EKind kind) : m_kind(kind) {}

    //! Room for a new entity in the arena (construct it there, then append it).
    void* allocateEntity() { return m_arena->allocate(m_kind, sizeof(T)); }

    void destroyAll()
    {
        T* entity = this->m_first;
        while (entity)
        {
            T* next = entity->getNext();
            m_arena->release(m_kind, entity);
            entity = next;
        }
        this->reset();
    }

    MCArena* m_arena = nullptr; //!< set by the derived container before any entity exists
    MCArena::EKind m_kind;
    tQueue m_queue;
};

} // namespace vctl
