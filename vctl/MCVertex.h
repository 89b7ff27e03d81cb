#pragma once
// A mesh vertex: a position and the heads of the lists of incident edges and triangles.
// The lists are threaded through the edges and triangles themselves (MCEdge, MCTri).
// Created only by a vertex container (MCVerticeS::addVertex), in its mesh's arena.

#include "vctl/MCCoordinate3D.h"
#include "vctl/MCEntity.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vctl {

class MCEdge;
class MCTri;
class MCVerticeS;

class MCVertex : public MCEntity<MCVertex>, public MCCoordinate3D<double>
{
public:
    //! Positions closer than this along every axis are the same position.
    static constexpr double EQUALITY_TOLERANCE = 1e-9;

    //! 1 when every coordinate differs by less than EQUALITY_TOLERANCE.
    int isEqual(const MCCoordinate3D<double>& other) const { return isAt(other.getX(), other.getY(), other.getZ()); }
    int isAt(double x, double y, double z) const
    {
        return std::fabs(m_x - x) < EQUALITY_TOLERANCE && std::fabs(m_y - y) < EQUALITY_TOLERANCE &&
                       std::fabs(m_z - z) < EQUALITY_TOLERANCE
                   ? 1
                   : 0;
    }
    //! The stored key (0 unless a merging vertex container created the vertex).
    std::int32_t getHashKey() const { return m_hashKey; }
    //! "Vertex <entity> : x / y / z".
    std::string toString() const;

    void setHashKey(std::int32_t key) { m_hashKey = key; }

    //! Free integer for algorithms; 0 on creation.
    int getIndex() const { return m_index; }
    void setIndex(int index) { m_index = index; }

    //! Head of the incident-edge list (null when none); an edge of the same mesh.
    MCEdge* getEdgeList() const { return MCArena::decode<MCEdge>(this, m_edgeList); }
    void setEdgeList(MCEdge* edge) { m_edgeList = MCArena::encode(this, edge); }
    //! Head of the incident-triangle list, most recently attached first (null when none).
    MCTri* getTriList() const { return MCArena::decode<MCTri>(this, m_triList); }
    void setTriList(MCTri* tri) { m_triList = MCArena::encode(this, tri); }
    //! A third incidence link for algorithms, any address; null on creation.
    void* getUserLink() const { return m_userLink; }
    void setUserLink(void* link) { m_userLink = link; }

    //! True when no edge, triangle or other link refers to the vertex: it may be removed.
    bool isUnused() const { return !m_edgeList && !m_triList && !m_userLink; }

    // Only containers create and destroy entities, in the mesh's arena.
    static void* operator new(std::size_t, void* room) noexcept { return room; }
    static void operator delete(void*, void*) noexcept {}
    static void* operator new(std::size_t) = delete;
    static void operator delete(void*) = delete;

private:
    friend class MCVerticeS;
    friend class MCTriS;
    MCVertex(double x, double y, double z) : MCCoordinate3D<double>(x, y, z) {}
    int m_index = 0;
    std::int32_t m_hashKey = 0;
    std::uint32_t m_edgeList = 0;
    std::uint32_t m_triList = 0;
    void* m_userLink = nullptr;
};

} // namespace vctl
