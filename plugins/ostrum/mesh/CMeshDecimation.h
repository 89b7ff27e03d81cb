#pragma once
// Decimation by edge collapses, cheapest first, to fewer triangles than a target count.
//
// A collapse merges an edge's two vertices into one, placed at the position of one of
// them, and removes the edge's two triangles. Its cost (edge value; the mode in the edge
// tag) is the distance the surrounding triangles move along their new normals, plus the
// cost the surviving vertex has already accumulated (vertex value). Collapses that would
// turn a triangle by more than about 45.6 degrees cost at least 1e6; those that would join
// two vertices sharing a neighbour other than the edge's two opposite corners (which
// would break the surface's topology), or edges not shared by exactly two triangles, are
// never made. Edges wait in a queue by cost (equal costs in the order they were queued); a
// cost is recomputed when its edge reaches the front and the edge goes back when it grew
// past the next key. A closed tetrahedron met this way is removed whole. The edge
// container's own keyed queue is not used.
//
// The mesh should be closed and consistently oriented; each closed piece keeps its Euler
// characteristic unless it is removed. Vertex flag 1 is used while costs are computed.
//
// Progress: the initial costs report with total 1000 every edges / 1000 + 1 edges; a stop
// answer there ends with true and the mesh as it was. The collapses report with total
// 1000 every (N - T) / 2000 + 1 collapses; a stop answer there ends with false and the
// mesh exactly as it was before the call (same triangles and vertices in the same orders,
// as new objects). Edges are cleared at the end in every case; until then the edges that
// collapses removed stay in the edge container (one of their vertices may be gone), so the
// progress callback must not walk the edges. Not thread-safe; costs use std::rand for the
// tie-breaking terms of the penalties.

#include "plugins/ostrum/mesh/CMeshRecord.h"
#include "toolkit/mod/CProgress.h"
#include "plugins/ostrum/mesh/CCostQueue.h"

#include <vector>

namespace vctl {
class MCEdge;
class MCTri;
class MCTriS;
class MCVertex;
}

class CMeshDecimation : public kvo::mod::CProgress
{
public:
    //! Collapse modes (edge tag).
    static constexpr int MODE_AT_FIRST = 0;    //!< vertex 1 survives at vertex 0's position
    static constexpr int MODE_AT_SECOND = 1;   //!< vertex 1 survives at its own position
    static constexpr int MODE_FORBIDDEN = 100; //!< never collapsed
    //! Costs from this value up mark collapses that turn a triangle over too far.
    static constexpr double TURN_PENALTY = 1e6;
    static constexpr double FORBIDDEN_COST = 1e9;

    static constexpr long DEFAULT_TARGET = 100000;

    //! Collapses edges until the mesh has fewer than `target` triangles (T - 1 or T - 2
    //! when ordinary collapses reach it), or until no edge may collapse any more. True at
    //! once, with nothing changed, when the mesh has at most `target` triangles. False only
    //! when the progress callback asked to stop during the collapses (mesh as before).
    //! Restores the default progress callback at the end.
    bool decimate(vctl::MCTriS& mesh, long target);

    //! The current cost of collapsing e; its mode in `mode`. Public for tests.
    double edgeCost(const vctl::MCEdge* e, int& mode);

private:
    bool collapseAll(vctl::MCTriS& mesh, long target, long initialCount);
    //! Collapses e with its stored mode and key; true when a vertex was removed. The work
    //! lists must hold e's triangles (edgeCost of e just ran).
    bool collapse(vctl::MCTriS& mesh, vctl::MCEdge* e);
    void removeTetrahedron(vctl::MCTriS& mesh, vctl::MCVertex* p, vctl::MCVertex* q, vctl::MCVertex* a,
                           vctl::MCVertex* b);
    //! Takes e out of the queue for good. It stays in its container and in the edge list of
    //! its surviving end, marked, until the edges are cleared at the end; walks over the
    //! edge lists skip it.
    void retire(vctl::MCEdge* e);
    //! Puts e in the queue under `key` (its new value), or moves it there.
    void requeue(vctl::MCEdge* e, double key);

    //! A triangle's corners and the index of the one that moves in a collapse.
    struct CCorners
    {
        vctl::MCVertex* vertex[3];
        int moved;
    };
    static CCorners cornersOf(const vctl::MCTri* t, int moved);

    //! Fills the work lists for the edge (p, q).
    void gather(const vctl::MCVertex* p, const vctl::MCVertex* q);
    bool topologyAllows();
    double moveCost(const vctl::MCVertex* p, const vctl::MCVertex* q, const double target[3]);

    std::vector<vctl::MCTri*> m_onlyFirst;  //!< triangles of vertex 0 without vertex 1
    std::vector<vctl::MCTri*> m_onlySecond; //!< triangles of vertex 1 without vertex 0
    std::vector<vctl::MCTri*> m_shared;     //!< triangles with both
    std::vector<CCorners> m_firstCorners;   //!< corners of m_onlyFirst, vertex 0 moving
    std::vector<CCorners> m_secondCorners;  //!< corners of m_onlySecond, vertex 1 moving
    // Edges by the number in their auxiliary field: the queue of numbers, the edges, and
    // the number of the last collapse after which each was found forbidden.
    CCostQueue m_queue;
    std::vector<vctl::MCEdge*> m_edgeOf;
    std::vector<long> m_forbiddenSince;
    CMeshRecord m_before;
};
