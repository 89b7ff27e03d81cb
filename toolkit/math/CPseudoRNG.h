#pragma once
// Base of the toolkit's deterministic pseudo-random generators: one unsigned 32-bit state
// that changes only through the generator's own draws. Generators never share a state.
//
// The uniform rule is a multiplicative congruential generator with multiplier 5^13 on 31
// bits: state <- state * 1220703125 mod 2^32, then bit 31 cleared; the value is
// state / 2147483647.0, in [0, 1]. An odd seed keeps the state odd, so it never reaches 0;
// a state of 0 stays 0 (every value 0).

#include <cstdint>

namespace kvo::math {

class CPseudoRNG
{
public:
    //! The seed every generator of the segmentation algorithms starts from.
    static constexpr std::uint32_t DEFAULT_SEED = 1537;

    explicit CPseudoRNG(std::uint32_t seed = DEFAULT_SEED) noexcept : m_state(seed) {}
    virtual ~CPseudoRNG() = default;

    //! Restarts the sequence from `seed`.
    void setSeed(std::uint32_t seed) noexcept { m_state = seed; }
    std::uint32_t getState() const noexcept { return m_state; }

protected:
    //! Advances the state by the uniform rule and returns the value in [0, 1].
    double nextUniform() noexcept
    {
        m_state *= 1220703125u;
        m_state &= 0x7FFFFFFFu;
        return m_state / 2147483647.0;
    }

private:
    std::uint32_t m_state;
};

} // namespace kvo::math
