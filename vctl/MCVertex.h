#pragma once
// A mesh vertex: a position and the heads of the lists of incident edges and triangles.
// The lists are threaded through the edges and triangles themselves (MCEdge, MCTri).

#include "vctl/MCEntity.h"
#include "vctl/MCPoint3D.h"

#include <cmath>
#include <cstdint>
#include <string>

namespace vctl {

class MCEdge;
class MCTri;

class MCVertex : public MCEntity<MCVertex>, public MCPoint3D
{
public:
    //! Positions closer than this along every axis are the same position.
    static constexpr double EQUALITY_TOLERANCE = 1e-9;

    MCVertex() = default;
    MCVertex(double x, double y, double z) : MCPoint3D(x, y, z) {}
    ~MCVertex() override = default;

    //! 1 when every coordinate differs by less than EQUALITY_TOLERANCE.
    int isEqual(const MCVertex& other) const override
    {
        return std::fabs(m_x - other.m_x) < EQUALITY_TOLERANCE && std::fabs(m_y - other.m_y) < EQUALITY_TOLERANCE &&
                       std::fabs(m_z - other.m_z) < EQUALITY_TOLERANCE
                   ? 1
                   : 0;
    }
    //! The stored key (0 unless a merging vertex container created the vertex).
    std::int32_t getHashKey() const override { return m_hashKey; }
    //! "Vertex <entity> : x / y / z".
    std::string toString() const override;

    void setHashKey(std::int32_t key) { m_hashKey = key; }

    //! Free integer for algorithms; 0 on creation.
    int getIndex() const { return m_index; }
    void setIndex(int index) { m_index = index; }

    //! Head of the incident-edge list (null when none).
    MCEdge* getEdgeList() const { return m_edgeList; }
    void setEdgeList(MCEdge* edge) { m_edgeList = edge; }
    //! Head of the incident-triangle list, most recently attached first (null when none).
    MCTri* getTriList() const { return m_triList; }
    void setTriList(MCTri* tri) { m_triList = tri; }
    //! A third incidence link for algorithms; null on creation.
    void* getUserLink() const { return m_userLink; }
    void setUserLink(void* link) { m_userLink = link; }

    //! True when no edge, triangle or other link refers to the vertex: it may be removed.
    bool isUnused() const { return !m_edgeList && !m_triList && !m_userLink; }

private:
    int m_index = 0;
    std::int32_t m_hashKey = 0;
    MCEdge* m_edgeList = nullptr;
    MCTri* m_triList = nullptr;
    void* m_userLink = nullptr;
};

} // namespace vctl
