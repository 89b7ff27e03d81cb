#pragma once
// One term of a one-dimensional Gaussian mixture: weight, mean and variance, with the
// normaliser 1 / (sigma * sqrt(2 pi)) and the inverse variance cached.
//
// Whoever changes the mean or the variance marks the component dirty; the next evaluation
// first raises a variance below VARIANCE_FLOOR to the floor (in the component itself), then
// recomputes the cached values. So a component fitted to one repeated value has variance 0
// until it is first evaluated and 0.001 from then on.

#include <cmath>

namespace kvo::math {

class CGaussianComponent
{
public:
    //! The smallest variance a component is evaluated with.
    static constexpr double VARIANCE_FLOOR = 0.001;
    //! sqrt(2 pi).
    static constexpr double SQRT_TWO_PI = 2.506628274631001;

    double weight = 0.0;
    double mean = 0.0;
    double variance = 0.0;

    //! Marks the cached values stale after the mean or the variance changed.
    void setDirty() noexcept { m_dirty = true; }
    bool isDirty() const noexcept { return m_dirty; }

    //! Applies the variance floor and recomputes the cached values when dirty.
    void update() noexcept
    {
        if (!m_dirty)
            return;
        if (variance < VARIANCE_FLOOR)
            variance = VARIANCE_FLOOR;
        m_normaliser = 1.0 / (std::sqrt(variance) * SQRT_TWO_PI);
        m_inverseVariance = 1.0 / variance;
        m_dirty = false;
    }

    //! The normal density N(x; mean, variance), weight not applied.
    double evaluate(double x) noexcept
    {
        update();
        return evaluateClean(x);
    }

    //! As evaluate, for a component known to be clean (after update()).
    double evaluateClean(double x) const noexcept
    {
        const double d = x - mean;
        return m_normaliser * std::exp(-0.5 * d * d * m_inverseVariance);
    }

    double getNormaliser() const noexcept { return m_normaliser; }
    double getInverseVariance() const noexcept { return m_inverseVariance; }

private:
    double m_inverseVariance = 0.0;
    double m_normaliser = 0.0;
    bool m_dirty = true;
};

} // namespace kvo::math
