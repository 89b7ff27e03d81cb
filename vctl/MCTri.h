#pragma once
// A mesh triangle. Its vertex order is its orientation: surfaces built by marching cubes
// are counter-clockwise seen from outside. Each triangle sits in the triangle lists of its
// three vertices: the link for vertex i (the next older triangle of that vertex) is
// getNextAround(i).

#include "toolkit/base/CSmallObject.h"
#include "vctl/MCEntity.h"
#include "vctl/MCVertex.h"

namespace vctl {

// The virtual destructor comes from MCEntity; the value-object base adds the pooled new and
// delete without a second virtual table pointer.

class MCTri : public MCEntity<MCTri>, public kvo::base::CSmallValueObject<4096, 256, 4>
{
public:
    MCTri(MCVertex* v0, MCVertex* v1, MCVertex* v2) : m_vertex{v0, v1, v2} {}
    ~MCTri() override = default;

    //! 1 when the triangle has the same three vertices in any order and orientation.
    int isEqual(const MCTri& other) const override
    {
        return other.contains(m_vertex[0]) && other.contains(m_vertex[1]) && other.contains(m_vertex[2]) ? 1 : 0;
    }
    std::int32_t getHashKey() const override { return 0; }
    //! "Tri <entity> : vertex 0 / vertex 1 / vertex 2".
    std::string toString() const override;

    MCVertex* getVertex(int i) const { return m_vertex[i]; }

    //! Next triangle in vertex i's triangle list.
    MCTri* getNextAround(int i) const { return m_next[i]; }
    void setNextAround(int i, MCTri* tri) { m_next[i] = tri; }

    //! Corner index of v (0, 1 or 2 by identity), -1 when v is not a corner.
    int getCornerIndex(const MCVertex* v) const
    {
        return m_vertex[0] == v ? 0 : m_vertex[1] == v ? 1 : m_vertex[2] == v ? 2 : -1;
    }
    bool contains(const MCVertex* v) const { return m_vertex[0] == v || m_vertex[1] == v || m_vertex[2] == v; }

    //! The next triangle in v's triangle list; null when v is not a corner.
    MCTri* getNextAround(const MCVertex* v) const
    {
        const int i = getCornerIndex(v);
        return i < 0 ? nullptr : m_next[i];
    }

    //! The two other corners of corner i in cyclic order: (i + 1) mod 3, then (i + 2) mod 3.
    MCVertex* getFollowing(int i) const { return m_vertex[(i + 1) % 3]; }
    MCVertex* getPreceding(int i) const { return m_vertex[(i + 2) % 3]; }

private:
    MCVertex* m_vertex[3];
    MCTri* m_next[3] = {nullptr, nullptr, nullptr};
};

} // namespace vctl
