#pragma once
// A mesh edge between two vertices. Each edge sits in the edge lists of both its vertices:
// the link for vertex i is getNextAround(i).

#include "toolkit/base/CSmallObject.h"
#include "vctl/MCEntity.h"
#include "vctl/MCVertex.h"

namespace vctl {

// The virtual destructor comes from MCEntity; the value-object base adds the pooled new and
// delete without a second virtual table pointer.

class MCEdge : public MCEntity<MCEdge>, public kvo::base::CSmallValueObject<4096, 256, 4>
{
public:
    MCEdge(MCVertex* v0, MCVertex* v1) : m_vertex{v0, v1} {}
    ~MCEdge() override = default;

    //! 1 when the edge joins the same two vertices, in either order.
    int isEqual(const MCEdge& other) const override
    {
        return (m_vertex[0] == other.m_vertex[0] && m_vertex[1] == other.m_vertex[1]) ||
                       (m_vertex[0] == other.m_vertex[1] && m_vertex[1] == other.m_vertex[0])
                   ? 1
                   : 0;
    }
    std::int32_t getHashKey() const override { return 0; }
    //! "Edge <entity> : vertex 0 / vertex 1".
    std::string toString() const override;

    MCVertex* getVertex(int i) const { return m_vertex[i]; }
    //! Next edge in vertex i's edge list.
    MCEdge* getNextAround(int i) const { return m_next[i]; }
    void setNextAround(int i, MCEdge* edge) { m_next[i] = edge; }

    bool joins(const MCVertex* a, const MCVertex* b) const
    {
        return (m_vertex[0] == a && m_vertex[1] == b) || (m_vertex[0] == b && m_vertex[1] == a);
    }
    //! The next edge in v's edge list; v must be an end of this edge.
    MCEdge* getNextAround(const MCVertex* v) const { return m_vertex[0] == v ? m_next[0] : m_next[1]; }

private:
    MCVertex* m_vertex[2];
    MCEdge* m_next[2] = {nullptr, nullptr};
};

} // namespace vctl
