#pragma once
// Approximately normal pseudo-random values: the sum of twelve successive uniform values
// of CPseudoRNG's rule (mean 6, variance 1) minus 6, scaled and shifted. Values therefore
// lie within mean ± 6 sigma. Deterministic like the uniform generator.

#include "toolkit/math/CPseudoRNG.h"

#include <cstdint>

namespace kvo::math {

class CNormalPRNG : public CPseudoRNG
{
public:
    explicit CNormalPRNG(std::uint32_t seed = DEFAULT_SEED) noexcept : CPseudoRNG(seed) {}

    //! Next value with mean `mean` and standard deviation `sigma` (sigma 0 gives `mean`).
    //! Draws twelve uniform values.
    double random(double mean, double sigma) noexcept
    {
        // Summed in draw order from u1, so sequences compare bit for bit.
        double sum = 0.0;
        for (int i = 0; i < 12; ++i)
            sum += nextUniform();
        return (sum - 6.0) * sigma + mean;
    }
};

} // namespace kvo::math
