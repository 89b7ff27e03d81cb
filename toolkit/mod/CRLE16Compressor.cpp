#include "toolkit/mod/CRLE16Compressor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kvo::mod {

namespace {

std::uint16_t valueAt(const unsigned char* values, std::int32_t index)
{
    std::uint16_t value;
    std::memcpy(&value, values + 2 * index, 2);
    return value;
}

} // namespace

void CRLE16Compressor::setChannel(CChannel* channel)
{
    CChannelCompressor::setChannel(channel);
    m_inPosition = m_inEnd = 0;
    m_left = 0;
}

bool CRLE16Compressor::writeOut()
{
    const std::int32_t fill = std::exchange(m_outFill, 0);
    return fill == 0 || getChannel()->write(reinterpret_cast<const char*>(m_out), fill);
}

bool CRLE16Compressor::emitRun(std::int32_t count, const unsigned char* value)
{
    if (m_outFill + 3 > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill] = static_cast<unsigned char>(128 + count);
    m_out[m_outFill + 1] = value[0];
    m_out[m_outFill + 2] = value[1];
    m_outFill += 3;
    return true;
}

bool CRLE16Compressor::emitLiteral(const unsigned char* values, std::int32_t count)
{
    if (m_outFill + 1 + 2 * count > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill++] = static_cast<unsigned char>(count);
    std::memcpy(m_out + m_outFill, values, static_cast<std::size_t>(2 * count));
    m_outFill += 2 * count;
    return true;
}

bool CRLE16Compressor::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || length % 2 != 0 || !isOutput() || !getChannel())
        return false;
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    const std::int32_t n = length / 2;
    m_outFill = 0;
    // As in the byte code: each turn starts with a pending value at i and takes exactly the
    // values that the packet state machine adds to the run or literal begun there.
    std::int32_t i = 0;
    while (i < n)
    {
        const std::uint16_t pending = valueAt(in, i);
        if (i + 1 == n)
        {
            if (!emitLiteral(in + 2 * i, 1))
                return false;
            break;
        }
        const std::int32_t limit = std::min(n, i + MAX_COUNT);
        std::int32_t j = i + 2;
        bool written;
        if (valueAt(in, i + 1) == pending)
        {
            while (j < limit && valueAt(in, j) == pending)
                ++j;
            written = emitRun(j - i, in + 2 * i);
        }
        else
        {
            while (j < limit && valueAt(in, j) != valueAt(in, j - 1))
                ++j;
            written = emitLiteral(in + 2 * i, j - i);
        }
        if (!written)
            return false;
        i = j;
    }
    return writeOut();
}

bool CRLE16Compressor::ensureInput(std::int32_t count)
{
    if (m_inEnd - m_inPosition >= count)
        return true;
    const std::int32_t kept = m_inEnd - m_inPosition;
    std::memmove(m_in, m_in + m_inPosition, static_cast<std::size_t>(kept));
    m_inPosition = 0;
    m_inEnd = kept;
    while (m_inEnd < count)
    {
        const std::int32_t got = getChannel()->read(reinterpret_cast<char*>(m_in) + m_inEnd, BUFFER_SIZE - m_inEnd);
        if (got <= 0)
            return false;
        m_inEnd += got;
    }
    return true;
}

std::int32_t CRLE16Compressor::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || length % 2 != 0 || !isInput() || !getChannel())
        return 0;
    std::int32_t handed = 0; // always even: values are handed out whole
    while (handed < length)
    {
        if (m_left > 0)
        {
            std::int32_t values = std::min(m_left, (length - handed) / 2);
            if (m_inRun)
            {
                for (std::int32_t k = 0; k < values; ++k)
                    std::memcpy(buffer + handed + 2 * k, m_runValue, 2);
            }
            else
            {
                if (!ensureInput(2))
                    break;
                values = std::min(values, (m_inEnd - m_inPosition) / 2);
                std::memcpy(buffer + handed, m_in + m_inPosition, static_cast<std::size_t>(2 * values));
                m_inPosition += 2 * values;
            }
            handed += 2 * values;
            m_left -= values;
            continue;
        }
        // The header is taken only with its run value, so a short wrapped channel leaves the
        // decoder at a packet boundary.
        if (!ensureInput(1))
            break;
        const unsigned char header = m_in[m_inPosition];
        if (header >= 128)
        {
            if (!ensureInput(3))
                break;
            m_runValue[0] = m_in[m_inPosition + 1];
            m_runValue[1] = m_in[m_inPosition + 2];
            m_inPosition += 3;
            m_inRun = true;
            m_left = header - 128;
        }
        else
        {
            m_inPosition += 1;
            m_inRun = false;
            m_left = header;
        }
    }
    return handed;
}

} // namespace kvo::mod
