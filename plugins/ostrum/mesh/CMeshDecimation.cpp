#include "plugins/ostrum/mesh/CMeshDecimation.h"

#include "plugins/ostrum/mesh/MeshEditing.h"
#include "plugins/ostrum/mesh/MeshGeometry.h"
#include "vctl/MCTriS.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdlib>

using namespace meshgeometry;

namespace {

constexpr int MARK = 1;
// The tag of an edge taken out of the queue; it stays in the edge list of its surviving end
// until the edges are cleared.
constexpr int RETIRED = -2;
// A moved triangle whose normal keeps a cosine below this with its old normal is penalised.
constexpr double TURN_COSINE = 0.7;
constexpr double DISPLACEMENT_WEIGHT = 0.1666666667;

// The tie-breaking term of the penalty costs, in [0, 100).
double jitter() { return 100.0 * static_cast<double>(std::rand() & 0x7FFF) / 32768.0; }

bool at(const vctl::MCVertex* v, const double target[3])
{
    return v->getX() == target[0] && v->getY() == target[1] && v->getZ() == target[2];
}

vctl::MCVertex* opposite(const vctl::MCTri* t, const vctl::MCVertex* p, const vctl::MCVertex* q)
{
    for (int c = 0; c < 3; ++c)
        if (t->getVertex(c) != p && t->getVertex(c) != q)
            return t->getVertex(c);
    return nullptr;
}

// unitNormal(p0, p1, p2) in `before` and normalised(moved) in `after`, with the same
// roundings, two lanes at a time: the divisions and square roots are most of a cost.
void unitNormals(const CVector& p0, const CVector& p1, const CVector& p2, const CVector& moved, CVector& before,
                 CVector& after)
{
#if defined(__SSE2__)
    const CVector n = cross(p1 - p0, p2 - p0);
    const __m128d lengths = _mm_sqrt_pd(_mm_set_pd(dot(moved, moved), dot(n, n)));
    const double lengthBefore = _mm_cvtsd_f64(lengths);
    const double lengthAfter = _mm_cvtsd_f64(_mm_unpackhi_pd(lengths, lengths));
    double xy[2], z[2], movedXY[2];
    _mm_storeu_pd(xy, _mm_div_pd(_mm_set_pd(n.y, n.x), _mm_set1_pd(lengthBefore)));
    _mm_storeu_pd(z, _mm_div_pd(_mm_set_pd(moved.z, n.z), lengths));
    _mm_storeu_pd(movedXY, _mm_div_pd(_mm_set_pd(moved.y, moved.x), _mm_set1_pd(lengthAfter)));
    before = lengthBefore == 0.0 ? CVector{} : CVector{xy[0], xy[1], z[0]};
    after = lengthAfter == 0.0 ? CVector{} : CVector{movedXY[0], movedXY[1], z[1]};
#else
    before = unitNormal(p0, p1, p2);
    after = normalised(moved);
#endif
}

} // namespace

inline CMeshDecimation::CCorners CMeshDecimation::cornersOf(const vctl::MCTri* t, int moved)
{
    CCorners corners{{t->getVertex(0), t->getVertex(1), t->getVertex(2)}, moved};
    // The cost reads the other two corners next: their memory is asked for while the walk
    // over the triangle lists goes on.
    for (int c = 1; c < 3; ++c)
    {
        const char* v = reinterpret_cast<const char*>(corners.vertex[(moved + c) % 3]);
        __builtin_prefetch(v);
        __builtin_prefetch(v + sizeof(vctl::MCVertex) - 1);
    }
    return corners;
}

void CMeshDecimation::gather(const vctl::MCVertex* p, const vctl::MCVertex* q)
{
    m_onlyFirst.clear();
    m_onlySecond.clear();
    m_shared.clear();
    m_firstCorners.clear();
    m_secondCorners.clear();
    for (vctl::MCTri* t = p->getTriList(); t;)
    {
        const int corner = t->getCornerIndex(p);
        if (corner < 0)
            break;
        if (t->contains(q))
            m_shared.push_back(t);
        else
        {
            m_onlyFirst.push_back(t);
            m_firstCorners.push_back(cornersOf(t, corner));
        }
        t = t->getNextAround(corner);
    }
    for (vctl::MCTri* t = q->getTriList(); t;)
    {
        const int corner = t->getCornerIndex(q);
        if (corner < 0)
            break;
        if (!t->contains(p))
        {
            m_onlySecond.push_back(t);
            m_secondCorners.push_back(cornersOf(t, corner));
        }
        t = t->getNextAround(corner);
    }
}

bool CMeshDecimation::topologyAllows()
{
    // The two ends may share no neighbour except the opposite corners of the edge's triangles.
    for (const CCorners& corners : m_firstCorners)
        for (vctl::MCVertex* v : corners.vertex)
            v->addFlag(MARK);
    for (const vctl::MCTri* t : m_shared)
        for (int c = 0; c < 3; ++c)
            t->getVertex(c)->removeFlag(MARK);
    bool allowed = true;
    for (const CCorners& corners : m_secondCorners)
        for (const vctl::MCVertex* v : corners.vertex)
            allowed = allowed && !v->hasFlag(MARK);
    for (const CCorners& corners : m_firstCorners)
        for (vctl::MCVertex* v : corners.vertex)
            v->removeFlag(MARK);
    return allowed;
}

double CMeshDecimation::moveCost(const vctl::MCVertex* p, const vctl::MCVertex* q, const double target[3])
{
    const CVector t{target[0], target[1], target[2]};
    double sum = 0.0;
    const vctl::MCVertex* ends[2] = {p, q};
    const std::vector<CCorners>* around[2] = {&m_firstCorners, &m_secondCorners};
    for (int end = 0; end < 2; ++end)
    {
        const vctl::MCVertex* moved = ends[end];
        if (at(moved, target))
            continue;
        const CVector displacement = t - position(moved);
        for (const CCorners& corners : *around[end])
        {
            const vctl::MCVertex* const* v = corners.vertex;
            const CVector a = position(v[(corners.moved + 1) % 3]), b = position(v[(corners.moved + 2) % 3]);
            CVector before, after;
            unitNormals(position(v[0]), position(v[1]), position(v[2]), cross(b - a, t - a), before, after);
            sum += std::fabs(dot(after, displacement)) * DISPLACEMENT_WEIGHT;
            // A degenerate triangle before or after has a zero normal and is penalised too.
            if (dot(after, before) < TURN_COSINE)
                return TURN_PENALTY + sum + jitter();
        }
    }
    return sum;
}

double CMeshDecimation::edgeCost(const vctl::MCEdge* e, int& mode)
{
    const vctl::MCVertex* p = e->getVertex(0);
    const vctl::MCVertex* q = e->getVertex(1);
    gather(p, q);
    if (m_shared.size() != 2 || !topologyAllows())
    {
        mode = MODE_FORBIDDEN;
        return FORBIDDEN_COST + jitter();
    }
    const double atP[3] = {p->getX(), p->getY(), p->getZ()};
    const double atQ[3] = {q->getX(), q->getY(), q->getZ()};
    const double c0 = moveCost(p, q, atP);
    const double c1 = moveCost(p, q, atQ);
    if (c1 > c0)
    {
        mode = MODE_AT_FIRST;
        return c0 + q->getValue();
    }
    mode = MODE_AT_SECOND;
    return c1 + p->getValue();
}

void CMeshDecimation::retire(vctl::MCEdge* e)
{
    // Its entry in m_edgeOf stays: only queued numbers are looked up there.
    m_queue.remove(e->getAuxiliary());
    e->setTag(RETIRED);
}

void CMeshDecimation::requeue(vctl::MCEdge* e, double key)
{
    e->setValue(key);
    m_queue.put(e->getAuxiliary(), key);
}

void CMeshDecimation::removeTetrahedron(vctl::MCTriS& mesh, vctl::MCVertex* p, vctl::MCVertex* q,
                                        vctl::MCVertex* a, vctl::MCVertex* b)
{
    // The six edges: those of p (to q, a, b), those of q to a and b, and a-b. The four edge
    // lists go with their vertices.
    vctl::MCVertex* corners[4] = {p, q, a, b};
    for (vctl::MCVertex* v : corners)
    {
        for (vctl::MCEdge* e = v->getEdgeList(); e;)
        {
            const int end = e->getVertex(0) == v ? 0 : 1;
            vctl::MCEdge* next = e->getNextAround(end);
            if (e->getTag() != RETIRED)
                retire(e);
            e = next;
        }
        v->setEdgeList(nullptr);
    }
    for (vctl::MCVertex* v : corners)
        while (vctl::MCTri* t = v->getTriList())
            mesh.removeTri(t);
    for (vctl::MCVertex* v : corners)
        mesh.getVertices().destroy(v);
}

bool CMeshDecimation::collapse(vctl::MCTriS& mesh, vctl::MCEdge* e)
{
    vctl::MCVertex* p = e->getVertex(0);
    vctl::MCVertex* q = e->getVertex(1);
    if (m_shared.size() != 2)
        return false;
    vctl::MCVertex* a = opposite(m_shared[0], p, q);
    vctl::MCVertex* b = opposite(m_shared[1], p, q);

    if (m_onlyFirst.size() == 1 && m_onlySecond.size() == 1)
    {
        // p and q have three triangles each: with a closed surface, a tetrahedron of its own.
        const vctl::MCTri* first = m_onlyFirst[0];
        const vctl::MCTri* second = m_onlySecond[0];
        if (first->contains(a) && first->contains(b) && second->contains(a) && second->contains(b) &&
            vctl::triangles(a).size() == 3 && vctl::triangles(b).size() == 3)
        {
            removeTetrahedron(mesh, p, q, a, b);
            return true;
        }
    }

    const double key = e->getValue();
    if (e->getTag() == MODE_FORBIDDEN)
    {
        requeue(e, key + 1000.0);
        return false;
    }
    if (e->getTag() == MODE_AT_FIRST)
        q->setXYZ(p->getX(), p->getY(), p->getZ());
    else
        p->setXYZ(q->getX(), q->getY(), q->getZ());
    q->setValue(key);

    for (vctl::MCTri* t : m_onlyFirst)
        meshedit::replaceCorner(t, p, q);

    // p's edges: the collapsed one, and p-a and p-b, which would repeat q-a and q-b, retire;
    // the others move their p end to q. p's edge list goes with p; a retired edge stays in
    // the list of its other end (edge lists are in no order).
    for (vctl::MCEdge* edge = p->getEdgeList(); edge;)
    {
        const int end = edge->getVertex(0) == p ? 0 : 1;
        vctl::MCEdge* next = edge->getNextAround(end);
        if (edge->getTag() != RETIRED)
        {
            const vctl::MCVertex* other = edge->getVertex(1 - end);
            if (other == q || other == a || other == b)
                retire(edge);
            else
            {
                edge->setVertex(end, q);
                edge->setNextAround(end, q->getEdgeList());
                q->setEdgeList(edge);
            }
        }
        edge = next;
    }
    p->setEdgeList(nullptr);
    mesh.removeTri(m_shared[0]);
    mesh.removeTri(m_shared[1]);
    mesh.getVertices().destroy(p);
    return true;
}

bool CMeshDecimation::decimate(vctl::MCTriS& mesh, long target)
{
    const long initialCount = mesh.getNumOfTris();
    if (target >= initialCount)
    {
        restoreDefaultCallback();
        return true;
    }
    m_before.capture(mesh, true);
    vctl::MCEdgeS& edges = mesh.getEdges();
    edges.clear();
    mesh.buildEdges();

    // Initial costs, then the queue in list order.
    beginProgress(1000);
    const int step = edges.getCount() / 1000 + 1;
    int done = 0;
    bool stopped = false;
    for (vctl::MCEdge* e = edges.getFirst(); e && !stopped; e = e->getNext())
    {
        int mode = MODE_FORBIDDEN;
        e->setValue(edgeCost(e, mode));
        e->setTag(mode);
        if (done++ % step == 0 && !progress())
            stopped = true;
    }
    bool result = true;
    if (!stopped)
    {
        const auto count = static_cast<std::size_t>(edges.getCount());
        m_queue.reset(count);
        m_edgeOf.clear();
        m_edgeOf.reserve(count);
        m_forbiddenSince.assign(count, 0);
        for (vctl::MCEdge* e = edges.getFirst(); e; e = e->getNext())
        {
            e->setAuxiliary(static_cast<std::int32_t>(m_edgeOf.size()));
            m_edgeOf.push_back(e);
            requeue(e, e->getValue());
        }
        result = collapseAll(mesh, target, initialCount);
        if (!result)
            m_before.restore(mesh);
    }
    edges.clear();
    m_before.clear();
    m_queue.reset(0);
    m_edgeOf.clear();
    m_forbiddenSince.clear();
    restoreDefaultCallback();
    return result;
}

bool CMeshDecimation::collapseAll(vctl::MCTriS& mesh, long target, long initialCount)
{
    beginProgress(1000);
    const long reportEvery = (initialCount - target) / 2000 + 1;
    long collapses = 0;
    // When every edge in the queue was found forbidden since the last collapse, nothing
    // can change any more.
    long generation = 1;
    std::size_t forbidden = 0;

    while (mesh.getNumOfTris() >= target && !m_queue.empty())
    {
        vctl::MCEdge* e = m_edgeOf[static_cast<std::size_t>(m_queue.front())];
        double second = 0.0;
        std::int32_t secondItem = 0;
        const bool hasSecond = m_queue.second(secondItem, second);
        // The second edge is likely the next to be looked at: its memory is asked for
        // early, step by step, so that it comes while this one is handled.
        const vctl::MCEdge* upcoming = hasSecond ? m_edgeOf[static_cast<std::size_t>(secondItem)] : nullptr;
        __builtin_prefetch(upcoming);
        int mode = MODE_FORBIDDEN;
        const double cost = edgeCost(e, mode);
        if (upcoming)
        {
            __builtin_prefetch(upcoming->getVertex(0));
            __builtin_prefetch(upcoming->getVertex(1));
        }
        if (mode == MODE_FORBIDDEN || (hasSecond && cost > second))
        {
            requeue(e, cost);
            e->setTag(mode);
            long& since = m_forbiddenSince[static_cast<std::size_t>(e->getAuxiliary())];
            if (mode == MODE_FORBIDDEN && since != generation)
            {
                since = generation;
                if (++forbidden >= m_queue.size())
                    break;
            }
            continue;
        }
        e->setTag(mode);
        const bool removed = collapse(mesh, e);
        // A retired edge may have lost a vertex; a queued one has both.
        if (upcoming && upcoming->getTag() != RETIRED)
            for (int end = 0; end < 2; ++end)
                __builtin_prefetch(upcoming->getVertex(end)->getTriList());
        if (removed)
        {
            ++collapses;
            ++generation;
            forbidden = 0;
        }
        if ((removed || mode == MODE_FORBIDDEN) && collapses % reportEvery == 0 && !progress())
            return false;
    }
    return true;
}
