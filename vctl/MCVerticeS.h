#pragma once
// The vertex container. With merging on, addVertex returns an existing vertex at the same
// position (within MCVertex::EQUALITY_TOLERANCE, found through a hash of the position
// rounded to 1e-9) instead of creating a second one; with merging off it always creates.

#include "vctl/MCCoordinate3D.h"
#include "vctl/MCEntitieS.h"
#include "vctl/MCVertex.h"

#include <cstdint>
#include <map>

namespace vctl {

class MCVerticeS : public MCEntitieS<MCVertex>
{
public:
    explicit MCVerticeS(bool merging = false) : m_merging(merging) {}
    ~MCVerticeS() override = default;

    bool isMerging() const { return m_merging; }

    //! The vertex at the point: appended at the end of the list, or with merging an existing
    //! vertex at that position. Owned by the container.
    MCVertex* addVertex(double x, double y, double z);
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

private:
    bool m_merging;
    MCVertex m_probe;                                   //!< position being looked up
    std::multimap<std::int32_t, MCVertex*> m_hashMap;   //!< merging look-up
};

} // namespace vctl
