#pragma once
// Base of the mesh entities (vertices, edges, triangles): list links within the container
// and a few fields that algorithms may use freely.

#include "vctl/MCListNode.h"

#include <cstdint>
#include <sstream>
#include <string>

namespace vctl {

template <class T>
class MCEntity : public MCListNode<T>
{
public:
    virtual ~MCEntity() = default;

    //! 1 when the other entity is equal by the entity's own rule, else 0.
    virtual int isEqual(const T& other) const = 0;
    //! Key for hashed look-up.
    virtual std::int32_t getHashKey() const = 0;
    //! Description for logs and debugging.
    virtual std::string toString() const = 0;

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
    double getValue() const { return m_value; }
    void setValue(double value) { m_value = value; }

    //! A second free integer for algorithms; 0 on creation.
    std::int32_t getAuxiliary() const { return m_auxiliary; }
    void setAuxiliary(std::int32_t auxiliary) { m_auxiliary = auxiliary; }

protected:
    //! How an entity is named inside descriptions: its address.
    std::string entityName() const
    {
        std::ostringstream stream;
        stream << static_cast<const void*>(this);
        return stream.str();
    }

    int m_flags = 0;
    std::int32_t m_tag = -1;
    double m_value = 0.0;
    std::int32_t m_auxiliary = 0;
};

} // namespace vctl
