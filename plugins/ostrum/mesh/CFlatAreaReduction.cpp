#include "plugins/ostrum/mesh/CFlatAreaReduction.h"

#include "plugins/ostrum/mesh/MeshEditing.h"
#include "plugins/ostrum/mesh/MeshGeometry.h"
#include "vctl/MCTriS.h"

#include <algorithm>
#include <vector>

using namespace meshgeometry;

namespace {

// Smallest area of a triangle that a flip may create.
constexpr double MIN_FLIP_AREA = 1e-9;

// True when a triangle of a's list contains b: the two are joined by an edge.
bool joined(const vctl::MCVertex* a, const vctl::MCVertex* b)
{
    for (const vctl::MCTri* t = a->getTriList(); t && t->contains(a); t = t->getNextAround(a))
        if (t->contains(b))
            return true;
    return false;
}

} // namespace

bool CFlatAreaReduction::reduce(vctl::MCTriS& mesh)
{
    // Edges would not follow the moves below; the steps that need them build their own.
    mesh.getEdges().clear();
    classifyVertices(mesh);

    // Move flat and crease vertices; the next vertex is read first, the current one may go.
    vctl::MCVertex* next = nullptr;
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = next)
    {
        next = v->getNext();
        if (v->hasFlag(kCorner))
            continue;
        const bool crease = v->hasFlag(kCrease);
        meshedit::trianglesOf(v, m_around);
        for (vctl::MCTri* t : m_around)
        {
            vctl::MCVertex* w = t->getFollowing(t->getCornerIndex(v));
            if (crease && !w->hasFlag(kCorner | kCrease))
                continue;
            if (collapse(mesh, v, w, m_around))
                break;
        }
    }

    storeQualities(mesh);
    flipEdges(mesh);

    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
        v->removeFlag(kCorner | kCrease);
    restoreDefaultCallback();
    return true;
}

void CFlatAreaReduction::classifyVertices(vctl::MCTriS& mesh)
{
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        v->removeFlag(kCorner | kCrease);
        const vctl::MCTri* first = v->getTriList();
        if (!first)
            continue;
        const CVector n0 = unitNormal(first);
        CVector n1;
        bool newDirection = false;
        for (const vctl::MCTri* t = first->getNextAround(v); t && t->contains(v); t = t->getNextAround(v))
        {
            const CVector n = unitNormal(t);
            if (dot(n, n0) >= FLAT_COSINE)
                continue;
            if (!newDirection)
            {
                n1 = n;
                newDirection = true;
            }
            else if (dot(n, n1) < FLAT_COSINE)
            {
                v->addFlag(kCorner);
                break;
            }
        }
        if (newDirection && !v->hasFlag(kCorner))
            v->addFlag(kCrease);
    }
}

bool CFlatAreaReduction::collapseVertex(vctl::MCTriS& mesh, vctl::MCVertex* v, vctl::MCVertex* w)
{
    return collapse(mesh, v, w, vctl::triangles(v));
}

bool CFlatAreaReduction::collapse(vctl::MCTriS& mesh, vctl::MCVertex* v, vctl::MCVertex* w,
                                  const std::vector<vctl::MCTri*>& around)
{
    if (v == w)
        return false;
    const CVector pv = position(v), pw = position(w);
    for (const vctl::MCTri* t : around)
    {
        if (t->contains(w))
            continue;
        const int corner = t->getCornerIndex(v);
        const CVector a = position(t->getFollowing(corner)), b = position(t->getPreceding(corner));
        const CVector before = normalised(cross(a - pv, b - pv));
        const CVector after = normalised(cross(a - pw, b - pw));
        if (!(dot(before, after) > KEEP_COSINE))
            return false;
    }
    for (vctl::MCTri* t : around)
    {
        if (t->contains(w))
            mesh.removeTri(t);
        else
            meshedit::replaceCorner(t, v, w);
    }
    if (v->isUnused())
        mesh.getVertices().destroy(v);
    return true;
}

bool CFlatAreaReduction::storeQualities(vctl::MCTriS& mesh)
{
    beginProgress(1000);
    const int step = mesh.getNumOfTris() / 1000 + 1;
    int done = 0;
    for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
    {
        t->setValue(quality(t));
        if (done++ % step == 0 && !progress())
            return false;
    }
    return true;
}

long CFlatAreaReduction::flipEdges(vctl::MCTriS& mesh)
{
    // Passes over all triangles in list order until one flips nothing. A triangle whose
    // surroundings did not change since it was last looked at would decide as it did then,
    // so a pass only looks again at triangles marked since: both of a flip and every
    // triangle around its four corners (their lists, neighbours, values and edges changed).
    for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        t->addFlag(FLIP_PENDING);
    const auto markAround = [](const vctl::MCVertex* v) {
        for (vctl::MCTri* t = v->getTriList(); t && t->contains(v); t = t->getNextAround(v))
            t->addFlag(FLIP_PENDING);
    };
    long flips = 0;
    for (bool flipped = true; flipped;)
    {
        flipped = false;
        for (vctl::MCTri* t = mesh.getFirst(); t; t = t->getNext())
        {
            if (!t->hasFlag(FLIP_PENDING))
                continue;
            t->removeFlag(FLIP_PENDING);
            const int i = longestEdge(t);
            vctl::MCTri* n = vctl::neighbour(t, i);
            if (!n)
                continue;
            const CVector normalT = unitNormal(t);
            if (dot(unitNormal(n), normalT) < FLAT_COSINE)
                continue;
            vctl::MCVertex* e0 = t->getVertex(i);
            vctl::MCVertex* e1 = t->getVertex((i + 1) % 3);
            vctl::MCVertex* v = t->getVertex((i + 2) % 3);
            vctl::MCVertex* w = nullptr;
            for (int c = 0; c < 3 && !w; ++c)
                if (n->getVertex(c) != e0 && n->getVertex(c) != e1)
                    w = n->getVertex(c);
            if (!w || w == v)
                continue;
            const CVector pv = position(v), pw = position(w), p0 = position(e0), p1 = position(e1);
            // The candidates (v, w, e1) and (w, v, e0): both must keep t's direction and a size.
            if (dot(unitNormal(pv, pw, p1), normalT) < KEEP_COSINE || area(pv, pw, p1) < MIN_FLIP_AREA ||
                dot(unitNormal(pw, pv, p0), normalT) < KEEP_COSINE || area(pw, pv, p0) < MIN_FLIP_AREA)
                continue;
            const double q1 = quality(pv, pw, p1), q2 = quality(pw, pv, p0);
            if (!(std::max(q1, q2) < std::max(t->getValue(), n->getValue())))
                continue;
            // An edge v-w elsewhere (it holds the candidates themselves when they exist) would
            // be shared by four triangles after the flip.
            if (joined(v, w))
                continue;
            meshedit::detachTri(t);
            meshedit::detachTri(n);
            meshedit::setCorners(t, v, w, e1);
            meshedit::setCorners(n, w, v, e0);
            t->setValue(q1);
            n->setValue(q2);
            meshedit::attachTri(t);
            meshedit::attachTri(n);
            for (const vctl::MCVertex* corner : {v, w, e0, e1})
                markAround(corner);
            flipped = true;
            ++flips;
        }
    }
    return flips;
}
