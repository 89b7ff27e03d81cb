#pragma once
// The kinds of change (flag values passed to invalidate) recorded for an entry since its
// last update: an ordered set of at most 101 values. A further value, new or already
// present, is refused with a warning on the global log and changes nothing.

#include <cstddef>
#include <cstdint>
#include <set>

namespace data {

class CEntryFlags
{
public:
    static constexpr std::size_t MAX_VALUES = 101;

    using const_iterator = std::set<std::int32_t>::const_iterator;

    //! Adds the value (a value already present is kept once). Returns false when the set
    //! was full: then the warning "CEntryFlags::insert(): Too many items in the history"
    //! has been printed to the global log and nothing changed.
    bool insert(std::int32_t value);

    bool contains(std::int32_t value) const { return m_values.count(value) != 0; }
    void clear() { m_values.clear(); }
    bool isEmpty() const { return m_values.empty(); }
    std::size_t size() const { return m_values.size(); }

    const_iterator begin() const { return m_values.begin(); }
    const_iterator end() const { return m_values.end(); }

    const std::set<std::int32_t>& getValues() const { return m_values; }

    bool operator==(const CEntryFlags& other) const { return m_values == other.m_values; }

private:
    std::set<std::int32_t> m_values;
};

} // namespace data
