#pragma once
// Smoothing without shrinking (Taubin's lambda/mu scheme): each iteration is a Laplacian
// step with the factor lambda followed by one with mu = 1 / (k - 1 / lambda), which is
// negative and pushes the surface back out.
//
// A step moves every vertex p to p + factor × mean(q - p) over its neighbours q (the
// corner after p in each of its triangles; every neighbour once on a closed, consistently
// oriented surface). All vertices of a step see the old positions. A vertex without
// triangles stays where it is. Vertex and triangle counts never change.
//
// Progress: total 2 × iterations, one report after each step; a stop answer ends the run.
// Not thread-safe.

#include "plugins/ostrum/mesh/CMeshRecord.h"
#include "toolkit/mod/CProgress.h"

#include <utility>

namespace vctl {
class MCTriS;
}

class CMeshSmoothing : public kvo::mod::CProgress
{
public:
    static constexpr double DEFAULT_LAMBDA = 0.6073;
    static constexpr double DEFAULT_K = 0.1;
    static constexpr long DEFAULT_ITERATIONS = 5;

    //! The factors used for (lambda, k): each one that is not finite becomes its default,
    //! and both become the defaults when mu would not be finite (k = 1 / lambda).
    static std::pair<double, double> usableParameters(double lambda, double k);
    //! mu = 1 / (k - 1 / lambda).
    static double mu(double lambda, double k) { return 1.0 / (k - 1.0 / lambda); }

    //! Smooths `mesh` in place with usableParameters(lambda, k). `iterations` of 0 or below
    //! changes nothing. True when every step ran. False when the progress callback asked
    //! to stop, or when a step would give a coordinate that is not finite: the mesh then
    //! has exactly the positions it had before the call. Restores the default progress
    //! callback at the end.
    bool smooth(vctl::MCTriS& mesh, long iterations, double lambda, double k);

private:
    bool run(vctl::MCTriS& mesh, long iterations, double lambda, double mu);

    CMeshRecord m_before;
};
