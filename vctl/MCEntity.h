#pragma once
// Base of the mesh entities (vertices, edges, triangles): list links within the container
// and a few fields that algorithms may use freely.
//
// Entities live in the arena of their mesh (MCArena) and are created and destroyed only by
// their containers; they have no virtual table and are never deleted one by one. The
// entity's own rules (isEqual, getHashKey, toString) are members of each entity class.

#include "vctl/MCListNode.h"

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

namespace vctl {

template <class T>
class MCEntity : public MCListNode<T>
{
public:
    //! Flags; algorithms use the low 16 bits. 0 on creation.
    int getFlags() const { return m_flags; }
    void setFlags(int flags) { m_flags = flags; }
    bool hasFlag(int flag) const { return (m_flags & flag) != 0; }
    void addFlag(int flag) { m_flags |= flag; }
    void removeFlag(int flag) { m_flags &= ~flag; }

    //! Free integer for algorithms; -1 on creation.
    std::int32_t getTag() const { return m_tag; }
    void setTag(std::int32_t tag) { m_tag = tag; }

    //! Free number for algorithms (a quality, a cost); 0 on creation.
    double getValue() const
    {
        double value;
        std::memcpy(&value, m_value, sizeof value);
        return value;
    }
    void setValue(double value) { std::memcpy(m_value, &value, sizeof value); }

    //! A second free integer for algorithms; 0 on creation.
    std::int32_t getAuxiliary() const { return m_auxiliary; }
    void setAuxiliary(std::int32_t auxiliary) { m_auxiliary = auxiliary; }

protected:
    MCEntity() = default;
    ~MCEntity() = default;
    MCEntity(const MCEntity&) = delete;
    MCEntity& operator=(const MCEntity&) = delete;

    //! How an entity is named inside descriptions: its address.
    std::string entityName() const
    {
        std::ostringstream stream;
        stream << static_cast<const void*>(this);
        return stream.str();
    }

    int m_flags = 0;
    std::int32_t m_tag = -1;
    //! A double kept in four-byte units, so that triangles and edges need no eight-byte
    //! alignment (0.0 is all zero bits).
    std::uint32_t m_value[2] = {0, 0};
    std::int32_t m_auxiliary = 0;
};

} // namespace vctl
