#pragma once
// The vertex container. With merging on, addVertex returns an existing vertex at the same
// position (within MCVertex::EQUALITY_TOLERANCE, found through a hash of the position
// rounded to 1e-9) instead of creating a second one; with merging off it always creates.
// It owns the arena of its mesh, from which the mesh's edges and triangles come too.

#include "vctl/MCArena.h"
#include "vctl/MCCoordinate3D.h"
#include "vctl/MCEntitieS.h"
#include "vctl/MCVertex.h"

#include <cstdint>
#include <map>

namespace vctl {

class MCVerticeS : public MCEntitieS<MCVertex>
{
public:
    explicit MCVerticeS(bool merging = false) : MCEntitieS<MCVertex>(MCArena::KIND_VERTEX), m_merging(merging)
    {
        m_arena = &m_ownArena;
    }
    ~MCVerticeS() override = default;

    bool isMerging() const { return m_merging; }

    //! The vertex at the point: appended at the end of the list, or with merging an existing
    //! vertex at that position. Owned by the container.
    MCVertex* addVertex(double x, double y, double z)
    {
        if (m_merging)
            return addMergedVertex(x, y, z);
        MCVertex* vertex = new (allocateEntity()) MCVertex(x, y, z);
        append(vertex);
        return vertex;
    }
    MCVertex* addVertex(const MCCoordinate3D<double>& point)
    {
        return addVertex(point.getX(), point.getY(), point.getZ());
    }

    //! Removes and destroys every vertex that no edge, triangle or other link refers to.
    void removeUnusedVertices();

    //! Destroys all vertices and empties the queue and the hash map. Links to the vertices
    //! held elsewhere dangle afterwards: clear the triangles and edges first.
    void clear() override;

    //! The hash key of a position: each coordinate rounded to 1e-9 as a double, the 24
    //! little-endian bytes folded by h = b ^ (h & 0xFC000000) ^ (h << 6), b a signed byte.
    static std::int32_t hashKey(double x, double y, double z);

    //! A number of the vertex unique among the live vertices of its mesh and below
    //! getSlotBound(): for tables indexed by vertex without touching the vertices.
    static std::uint32_t getSlot(const MCVertex* vertex) { return MCArena::getSlot(vertex); }
    std::uint32_t getSlotBound() const { return m_ownArena.getSlotBound(MCArena::KIND_VERTEX); }

    //! The memory of the whole mesh (vertices, edges and triangles).
    const MCArena& getArena() const { return m_ownArena; }
    MCArena& getArena() { return m_ownArena; }

private:
    MCVertex* addMergedVertex(double x, double y, double z);

    MCArena m_ownArena; // destroyed after the derived containers' lists were forgotten
    bool m_merging;
    std::multimap<std::int32_t, MCVertex*> m_hashMap; //!< merging look-up
};

} // namespace vctl
