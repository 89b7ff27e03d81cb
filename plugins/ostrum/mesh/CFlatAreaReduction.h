#pragma once
// Flat-area reduction ("Flow reduction" of "Run MC"): thins out the dense, regular
// triangles that marching cubes leaves on flat and staircase parts of a surface.
//
// 1. Every vertex is classified by the normals of its triangles (parallel when their dot
//    product is at least FLAT_COSINE): one direction = flat, two = crease, three = corner.
// 2. In vertex-list order, a flat vertex moves onto the first neighbour (the corner after
//    it in each of its triangles, in list order) for which no surrounding triangle turns;
//    a crease vertex only onto a crease or corner neighbour; corners stay.
// 3. Every triangle's value gets its shape quality (progress: total 1000, one report per
//    triangles / 1000 + 1 triangles). A stop answer ends this pass early; not a failure.
// 4. Edges between coplanar triangles are flipped while that improves the worse shape of
//    the pair, until a pass over all triangles flips none.
// 5. The vertex flags kCorner and kCrease are cleared again.
//
// Closed surfaces stay closed and consistently oriented. Open borders are tolerated: a
// triangle whose longest edge has no neighbour is not flipped. Not thread-safe.

#include "toolkit/mod/CProgress.h"

#include <vector>

namespace vctl {
class MCTri;
class MCTriS;
class MCVertex;
}

class CFlatAreaReduction : public kvo::mod::CProgress
{
public:
    //! Vertex flags used during the run (a vertex with neither is flat).
    static constexpr int kCorner = 2;
    static constexpr int kCrease = 4;
    //! Existing triangles are coplanar when their unit normals' dot product is at least this.
    static constexpr double FLAT_COSINE = 0.99999;
    //! A moved or flipped triangle keeps its direction when its dot product with the old
    //! normal is above (collapse) or at least (flip) this.
    static constexpr double KEEP_COSINE = 0.9999;

    //! Runs the whole reduction on `mesh`. Always true (a stop in the quality pass only
    //! ends that pass). Restores the default progress callback at the end.
    bool reduce(vctl::MCTriS& mesh);

    //! Sets kCorner or kCrease on every vertex (clearing both first).
    static void classifyVertices(vctl::MCTriS& mesh);

    //! Moves v onto w: triangles with both are removed, the others get w in place of v,
    //! and v is destroyed; w does not move. False, changing nothing, when a triangle that
    //! does not contain w would turn (dot product of old and new normal not above
    //! KEEP_COSINE, a degenerate one included).
    static bool collapseVertex(vctl::MCTriS& mesh, vctl::MCVertex* v, vctl::MCVertex* w);

    //! Triangle flag used during the flip passes (cleared again).
    static constexpr int FLIP_PENDING = 1;

    //! The flip passes of step 4; returns the number of flips made.
    static long flipEdges(vctl::MCTriS& mesh);

private:
    //! collapseVertex with v's triangles in `around` (work list of the caller).
    static bool collapse(vctl::MCTriS& mesh, vctl::MCVertex* v, vctl::MCVertex* w,
                         const std::vector<vctl::MCTri*>& around);
    //! Step 3; false when the progress callback asked to stop.
    bool storeQualities(vctl::MCTriS& mesh);

    std::vector<vctl::MCTri*> m_around; //!< triangles of the current vertex
};
