#pragma once
// What a refinement step needs to give a mesh back exactly as it was when it fails or is
// cancelled: the vertex positions in list order and, when the step changes the topology,
// the triangles (as vertex numbers, in list order) and each vertex's triangle order.
// Restoring the topology rebuilds the entities: the same triangles and vertices in the
// same orders and positions, as new objects (edges are not kept: the mesh has none after).

#include <array>
#include <cstdint>
#include <vector>

namespace vctl {
class MCTriS;
}

class CMeshRecord
{
public:
    //! Records the positions, and the topology when `topology` is true.
    void capture(vctl::MCTriS& mesh, bool topology);
    //! Gives the mesh back as recorded. Positions only: the mesh must have the recorded
    //! vertices (a step that moved them and nothing else).
    void restore(vctl::MCTriS& mesh) const;
    //! Forgets the record.
    void clear();

private:
    std::vector<std::array<double, 3>> m_positions;
    bool m_topology = false;
    std::vector<std::array<std::int32_t, 3>> m_triangles;
    //! For each vertex (in list order) its triangles, most recently attached first, as
    //! triangle numbers; m_firstAround[v] .. m_firstAround[v + 1] index m_around.
    std::vector<std::int32_t> m_firstAround;
    std::vector<std::int32_t> m_around;
};
