#pragma once
// The identifiers of the entries whose change reached an entry since its last update,
// its own identifier included when it was changed itself. Ascending order.

#include <cstddef>
#include <set>

namespace data {

class CChangedEntries
{
public:
    using const_iterator = std::set<int>::const_iterator;

    void insert(int id) { m_ids.insert(id); }
    bool contains(int id) const { return m_ids.count(id) != 0; }
    void clear() { m_ids.clear(); }
    bool isEmpty() const { return m_ids.empty(); }
    std::size_t size() const { return m_ids.size(); }

    const_iterator begin() const { return m_ids.begin(); }
    const_iterator end() const { return m_ids.end(); }

    const std::set<int>& getIds() const { return m_ids; }

private:
    std::set<int> m_ids;
};

} // namespace data
