#pragma once
// Turns stored or rescaled values into signed 16-bit densities: rounds half away from
// zero, clamps to -32768..32767 and counts what it had to clamp, so that a reader can
// report the loss instead of wrapping values around silently.

#include <cmath>
#include <cstdint>
#include <string>
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
    std::uint64_t m_clampedCount = 0;
    std::uint64_t m_notANumberCount = 0;
};

} // namespace velmora::import
