#pragma once
// Uniform pseudo-random values by the rule of CPseudoRNG. Deterministic: two generators
// with the same seed give the same sequence.

#include "toolkit/math/CPseudoRNG.h"

#include <cstdint>

namespace kvo::math {

class CUniformPRNG : public CPseudoRNG
{
public:
    explicit CUniformPRNG(std::uint32_t seed = DEFAULT_SEED) noexcept : CPseudoRNG(seed) {}

    //! Next value in [0, 1].
    double random() noexcept { return nextUniform(); }

    //! Next value in [min, max]: next value × (max − min) + min.
    double random(double min, double max) noexcept { return nextUniform() * (max - min) + min; }

    //! An index in 0 … count − 1: random(0, count − 1) + 0.5, truncated, so the two end
    //! indices come up half as often as the others. Draws one value; count 1 (or less)
    //! always gives 0.
    std::int32_t randomIndex(std::int32_t count) noexcept
    {
        const double value = random(0.0, count > 1 ? double(count - 1) : 0.0) + 0.5;
        return static_cast<std::int32_t>(value);
    }
};

} // namespace kvo::math
