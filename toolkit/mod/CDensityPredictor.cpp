#include "toolkit/mod/CDensityPredictor.h"

#include <cstring>

namespace kvo::mod {

bool CDensityPredictor::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || length % 2 != 0 || !isOutput() || !getChannel())
        return false;
    if (length == 0)
        return getChannel()->write(data, 0);
    const std::size_t n = static_cast<std::size_t>(length) / 2;
    m_planes.resize(2 * n);
    unsigned char* high = m_planes.data();
    unsigned char* low = high + n;
    std::uint16_t previous = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        std::uint16_t sample;
        std::memcpy(&sample, data + 2 * i, 2);
        const auto delta = static_cast<std::uint16_t>(sample + OFFSET - previous);
        high[i] = static_cast<unsigned char>(delta >> 8);
        low[i] = static_cast<unsigned char>(delta & 0xFF);
        previous = sample;
    }
    return getChannel()->write(reinterpret_cast<const char*>(m_planes.data()), length);
}

std::int32_t CDensityPredictor::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || length % 2 != 0 || !isInput() || !getChannel())
        return 0;
    m_planes.resize(static_cast<std::size_t>(length));
    std::int32_t got = 0;
    while (got < length)
    {
        const std::int32_t piece = getChannel()->read(reinterpret_cast<char*>(m_planes.data()) + got, length - got);
        if (piece <= 0)
            return 0;
        got += piece;
    }
    const std::size_t n = static_cast<std::size_t>(length) / 2;
    const unsigned char* high = m_planes.data();
    const unsigned char* low = high + n;
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
    {
        sum = static_cast<std::uint16_t>(sum + ((high[i] << 8) | low[i]) - OFFSET);
        std::memcpy(buffer + 2 * i, &sum, 2);
    }
    return length;
}

} // namespace kvo::mod
