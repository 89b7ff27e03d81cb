#pragma once
// A priority queue of numbered items (0 .. capacity - 1) by a double key, smallest first;
// equal keys come out in the order in which they were put in or last re-keyed, like an
// ordered multimap that inserts behind equal keys. Each item is in it at most once; its
// place is kept, so re-keying and removing are O(log n) without a search.
//
// A four-way heap of 16-byte entries whose sibling groups share one 64-byte cache line:
// half the levels of a binary heap, and one line fetched per level. The order of equal
// keys is kept by a 32-bit sequence number; when it runs out, the queued entries are
// renumbered in their order.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <utility>
#include <vector>

class CCostQueue
{
public:
    //! Empties the queue and makes room for items 0 .. capacity - 1.
    void reset(std::size_t capacity)
    {
        m_size = 0;
        m_place.assign(capacity, NOT_QUEUED);
        m_sequence = 0;
        if (capacity > m_capacity || capacity == 0)
        {
            m_storage.reset();
            m_heap = nullptr;
            m_capacity = 0;
            if (capacity == 0)
                return;
            // Node i lives at i + OFFSET of a 64-byte aligned array: the children of node i,
            // 4i + 1 .. 4i + 4, fill one cache line.
            m_storage = std::make_unique_for_overwrite<CEntry[]>(capacity + OFFSET + GROUP);
            const auto address = reinterpret_cast<std::uintptr_t>(m_storage.get());
            const std::size_t skip = ((LINE - address % LINE) % LINE) / sizeof(CEntry);
            m_heap = m_storage.get() + skip + OFFSET;
            m_capacity = capacity;
        }
    }

    bool empty() const { return m_size == 0; }
    std::size_t size() const { return m_size; }
    bool contains(std::int32_t item) const { return m_place[static_cast<std::size_t>(item)] != NOT_QUEUED; }

    //! The first item and its key; the queue must not be empty.
    std::int32_t front() const { return m_heap[0].item; }
    double frontKey() const { return m_heap[0].key; }
    //! The key of the item that would come after the first, false when there is none.
    bool secondKey(double& key) const
    {
        std::int32_t item = 0;
        return second(item, key);
    }
    //! The item that would come after the first and its key, false when there is none.
    bool second(std::int32_t& item, double& key) const
    {
        if (m_size < 2)
            return false;
        std::size_t at = 1;
        const std::size_t last = std::min<std::size_t>(m_size - 1, GROUP);
        for (std::size_t child = 2; child <= last; ++child)
            if (before(m_heap[child], m_heap[at]))
                at = child;
        item = m_heap[at].item;
        key = m_heap[at].key;
        return true;
    }

    //! Puts the item in under `key`, or moves it there (behind the items of equal key).
    void put(std::int32_t item, double key)
    {
        const std::uint32_t at = m_place[static_cast<std::size_t>(item)];
        const std::uint32_t sequence = nextSequence();
        if (at == NOT_QUEUED)
        {
            m_heap[m_size] = {key, sequence, item};
            ++m_size;
            up(m_size - 1);
            return;
        }
        const double old = m_heap[at].key;
        m_heap[at].key = key;
        m_heap[at].sequence = sequence;
        // The new sequence is the largest: the entry can only go up when its key fell.
        if (key < old)
            up(at);
        else
            down(at);
    }

    //! Takes the item out; nothing when it is not in.
    void remove(std::int32_t item)
    {
        const std::uint32_t at = m_place[static_cast<std::size_t>(item)];
        if (at == NOT_QUEUED)
            return;
        m_place[static_cast<std::size_t>(item)] = NOT_QUEUED;
        const std::size_t last = m_size - 1;
        --m_size;
        if (at == last)
            return;
        const CEntry moved = m_heap[last];
        if (at > 0 && before(moved, m_heap[(at - 1) / GROUP]))
            up(at, moved);
        else
            down(at, moved);
    }

    //! The sequence number the next put gets (tests move it near its end).
    std::uint32_t nextSequenceNumber() const { return m_sequence; }
    void setNextSequenceNumber(std::uint32_t sequence) { m_sequence = sequence; }

private:
    static constexpr std::uint32_t NOT_QUEUED = ~std::uint32_t(0);
    static constexpr std::size_t GROUP = 4;
    static constexpr std::size_t LINE = 64;
    static constexpr std::size_t OFFSET = GROUP - 1;

    struct CEntry
    {
        double key;
        std::uint32_t sequence;
        std::int32_t item;
    };
    static_assert(sizeof(CEntry) * GROUP == LINE);

    static bool before(const CEntry& a, const CEntry& b)
    {
        return a.key < b.key || (a.key == b.key && a.sequence < b.sequence);
    }

    std::uint32_t nextSequence()
    {
        if (m_sequence == ~std::uint32_t(0))
            renumber();
        return m_sequence++;
    }
    //! Gives the queued entries the numbers 0, 1, ... in their order; the heap stays valid.
    void renumber()
    {
        std::vector<std::uint32_t> order(m_size);
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return before(m_heap[a], m_heap[b]); });
        for (std::size_t rank = 0; rank < order.size(); ++rank)
            m_heap[order[rank]].sequence = static_cast<std::uint32_t>(rank);
        m_sequence = static_cast<std::uint32_t>(m_size);
    }

    void set(std::size_t at, const CEntry& entry)
    {
        m_heap[at] = entry;
        m_place[static_cast<std::size_t>(entry.item)] = static_cast<std::uint32_t>(at);
    }
    void up(std::size_t at) { up(at, m_heap[at]); }
    void down(std::size_t at) { down(at, m_heap[at]); }
    //! Places `entry` at `at` or above, moving the parents it goes past down.
    void up(std::size_t at, const CEntry entry)
    {
        while (at > 0)
        {
            const std::size_t parent = (at - 1) / GROUP;
            if (!before(entry, m_heap[parent]))
                break;
            set(at, m_heap[parent]);
            at = parent;
        }
        set(at, entry);
    }
    //! Places `entry` at `at` or below, moving the children it goes past up.
    void down(std::size_t at, const CEntry entry)
    {
        for (;;)
        {
            const std::size_t first = GROUP * at + 1;
            if (first >= m_size)
                break;
            const std::size_t end = std::min(first + GROUP, m_size);
            std::size_t best = first;
            for (std::size_t child = first + 1; child < end; ++child)
                if (before(m_heap[child], m_heap[best]))
                    best = child;
            if (!before(m_heap[best], entry))
                break;
            set(at, m_heap[best]);
            at = best;
        }
        set(at, entry);
    }

    std::unique_ptr<CEntry[]> m_storage;
    CEntry* m_heap = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
    std::vector<std::uint32_t> m_place;
    std::uint32_t m_sequence = 0;
};
