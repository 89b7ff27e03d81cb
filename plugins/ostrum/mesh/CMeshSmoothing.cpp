#include "plugins/ostrum/mesh/CMeshSmoothing.h"

#include "vctl/MCTriS.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <vector>

std::pair<double, double> CMeshSmoothing::usableParameters(double lambda, double k)
{
    if (!std::isfinite(lambda))
        lambda = DEFAULT_LAMBDA;
    if (!std::isfinite(k))
        k = DEFAULT_K;
    if (!std::isfinite(mu(lambda, k)))
        return {DEFAULT_LAMBDA, DEFAULT_K};
    return {lambda, k};
}

bool CMeshSmoothing::smooth(vctl::MCTriS& mesh, long iterations, double lambda, double k)
{
    const auto [usedLambda, usedK] = usableParameters(lambda, k);
    m_before.capture(mesh, false);
    const bool done = run(mesh, iterations, usedLambda, mu(usedLambda, usedK));
    if (!done)
        m_before.restore(mesh);
    m_before.clear();
    restoreDefaultCallback();
    return done;
}

bool CMeshSmoothing::run(vctl::MCTriS& mesh, long iterations, double lambda, double muFactor)
{
    const long steps = iterations > 0 ? 2 * iterations : 0;
    beginProgress(static_cast<std::int32_t>(std::min<long>(steps, INT32_MAX)));
    if (steps == 0)
        return true;

    // The neighbour lists do not change between steps: gathered once, as vertex numbers.
    std::vector<vctl::MCVertex*> vertices;
    vertices.reserve(static_cast<std::size_t>(mesh.getNumOfVertices()));
    for (vctl::MCVertex* v = mesh.getVertices().getFirst(); v; v = v->getNext())
    {
        v->setIndex(static_cast<int>(vertices.size()));
        vertices.push_back(v);
    }
    std::vector<std::int32_t> first(vertices.size() + 1, 0);
    std::vector<std::int32_t> neighbours;
    neighbours.reserve(static_cast<std::size_t>(mesh.getNumOfTris()) * 3);
    for (std::size_t i = 0; i < vertices.size(); ++i)
    {
        const vctl::MCVertex* v = vertices[i];
        first[i] = static_cast<std::int32_t>(neighbours.size());
        for (const vctl::MCTri* t = v->getTriList(); t && t->contains(v); t = t->getNextAround(v))
            neighbours.push_back(t->getFollowing(t->getCornerIndex(v))->getIndex());
    }
    first[vertices.size()] = static_cast<std::int32_t>(neighbours.size());

    std::vector<std::array<double, 3>> old(vertices.size()), next(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
        old[i] = {vertices[i]->getX(), vertices[i]->getY(), vertices[i]->getZ()};

    for (long step = 0; step < steps; ++step)
    {
        const double factor = step % 2 == 0 ? lambda : muFactor;
        bool finite = true;
        for (std::size_t i = 0; i < vertices.size(); ++i)
        {
            const std::array<double, 3>& p = old[i];
            const std::int32_t count = first[i + 1] - first[i];
            if (count == 0)
            {
                next[i] = p;
                continue;
            }
            double sum[3] = {0.0, 0.0, 0.0};
            for (std::int32_t n = first[i]; n < first[i + 1]; ++n)
            {
                const std::array<double, 3>& q = old[static_cast<std::size_t>(neighbours[n])];
                sum[0] += q[0] - p[0];
                sum[1] += q[1] - p[1];
                sum[2] += q[2] - p[2];
            }
            for (int c = 0; c < 3; ++c)
                next[i][c] = p[c] + factor * sum[c] / count;
            finite = finite && std::isfinite(next[i][0]) && std::isfinite(next[i][1]) && std::isfinite(next[i][2]);
        }
        if (!finite)
            return false;
        old.swap(next);
        for (std::size_t i = 0; i < vertices.size(); ++i)
            vertices[i]->setXYZ(old[i][0], old[i][1], old[i][2]);
        if (!progress())
            return false;
    }
    return true;
}
