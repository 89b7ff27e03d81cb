#pragma once
// Turns stored or rescaled values into signed 16-bit densities: rounds half away from
// zero, clamps to -32768..32767 and counts what it had to clamp, so that a reader can
// report the loss instead of wrapping values around silently.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace velmora::import {

class CDensityRounder
{
public:
    std::int16_t fromInteger(std::int64_t value)
    {
        if (value < INT16_MIN) {
            ++m_clampedCount;
            return INT16_MIN;
        }
        if (value > INT16_MAX) {
            ++m_clampedCount;
            return INT16_MAX;
        }
        return static_cast<std::int16_t>(value);
    }

    //! fromInteger(value + intercept) of `count` integers of type Stored, read (unaligned,
    //! in this machine's byte order) from `bytes`; with `bitsStored` (1 to the type's bits,
    //! 0 for all of them) only that many low bits count, sign-extended for a signed type.
    //! Integers of up to 32 bits; |intercept| up to 2^40.
    template <typename Stored>
    void fromIntegers(const void* bytes, std::size_t count, std::int64_t intercept, unsigned bitsStored,
                      std::int16_t* target)
    {
        static_assert(std::is_integral_v<Stored> && sizeof(Stored) <= 4, "integers of up to 32 bits");
        constexpr unsigned BITS = sizeof(Stored) * 8;
        const auto* from = static_cast<const char*>(bytes);
        const bool mask = bitsStored > 0 && bitsStored < BITS;
        const unsigned shift = mask ? BITS - bitsStored : 0;
        // Up to 16 bits and an intercept within +-2^30 fit 32-bit sums, which let the vector
        // code take more values at a time.
        const bool narrow = sizeof(Stored) < 4 && intercept >= -(std::int64_t(1) << 30) && intercept <= (std::int64_t(1) << 30);
        if (narrow)
            m_clampedCount += mask ? convert<Stored, true, std::int32_t>(from, count, std::int32_t(intercept), shift, target)
                                   : convert<Stored, false, std::int32_t>(from, count, std::int32_t(intercept), shift, target);
        else
            m_clampedCount += mask ? convert<Stored, true, std::int64_t>(from, count, intercept, shift, target)
                                   : convert<Stored, false, std::int64_t>(from, count, intercept, shift, target);
    }

    //! Not-a-number becomes 0 and is counted separately; infinities clamp.
    std::int16_t fromReal(double value)
    {
        if (std::isnan(value)) {
            ++m_notANumberCount;
            return 0;
        }
        const double rounded = std::round(value);
        if (rounded < INT16_MIN) {
            ++m_clampedCount;
            return INT16_MIN;
        }
        if (rounded > INT16_MAX) {
            ++m_clampedCount;
            return INT16_MAX;
        }
        return static_cast<std::int16_t>(rounded);
    }

    //! Adds losses counted elsewhere (a bulk conversion, another reader's share).
    void addCounts(std::uint64_t clamped, std::uint64_t notANumber)
    {
        m_clampedCount += clamped;
        m_notANumberCount += notANumber;
    }

    std::uint64_t clampedCount() const { return m_clampedCount; }
    std::uint64_t notANumberCount() const { return m_notANumberCount; }

    //! Appends one sentence per kind of loss to `warnings`, naming `source`.
    void addWarnings(const std::string& source, std::vector<std::string>& warnings) const
    {
        if (m_clampedCount > 0)
            warnings.push_back(source + ": " + std::to_string(m_clampedCount)
                               + " values outside -32768..32767 were clamped to 16 bits");
        if (m_notANumberCount > 0)
            warnings.push_back(source + ": " + std::to_string(m_notANumberCount)
                               + " values that were not numbers were set to 0");
    }

private:
    template <typename Stored, bool MASK, typename Sum>
    static std::int16_t one(const char* bytes, Sum intercept, unsigned shift, unsigned& clamped)
    {
        Stored v;
        std::memcpy(&v, bytes, sizeof(Stored));
        if constexpr (MASK) {
            // Shifting the stored bits to the top and back extends the sign for a signed
            // type and clears the bits above them for an unsigned one.
            using U = std::make_unsigned_t<Stored>;
            v = static_cast<Stored>(static_cast<Stored>(static_cast<U>(static_cast<U>(v) << shift)) >> shift);
        }
        const Sum value = static_cast<Sum>(v) + intercept;
        const Sum kept = std::min<Sum>(std::max<Sum>(value, INT16_MIN), INT16_MAX);
        clamped += static_cast<unsigned>(kept != value);
        return static_cast<std::int16_t>(kept);
    }

    // Blocks of a fixed length, which the compiler turns into vector code; kept out of line,
    // as its restrict-qualified pointers are what allow that.
    template <typename Stored, bool MASK, typename Sum>
    [[gnu::noinline]] static std::uint64_t convert(const char* __restrict bytes, std::size_t count, Sum intercept,
                                                   unsigned shift, std::int16_t* __restrict target)
    {
        constexpr std::size_t BLOCK = 64;
        std::uint64_t clamped = 0;
        std::size_t i = 0;
        for (; i + BLOCK <= count; i += BLOCK) {
            unsigned inBlock = 0;
            for (std::size_t j = 0; j < BLOCK; ++j)
                target[i + j] = one<Stored, MASK, Sum>(bytes + (i + j) * sizeof(Stored), intercept, shift, inBlock);
            clamped += inBlock;
        }
        unsigned rest = 0;
        for (; i < count; ++i)
            target[i] = one<Stored, MASK, Sum>(bytes + i * sizeof(Stored), intercept, shift, rest);
        return clamped + rest;
    }

    std::uint64_t m_clampedCount = 0;
    std::uint64_t m_notANumberCount = 0;
};

} // namespace velmora::import
