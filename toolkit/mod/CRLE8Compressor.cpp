#include "toolkit/mod/CRLE8Compressor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kvo::mod {

void CRLE8Compressor::setChannel(CChannel* channel)
{
    CChannelCompressor::setChannel(channel);
    m_inPosition = m_inEnd = 0;
    m_left = 0;
}

bool CRLE8Compressor::writeOut()
{
    const std::int32_t fill = std::exchange(m_outFill, 0);
    return fill == 0 || getChannel()->write(reinterpret_cast<const char*>(m_out), fill);
}

bool CRLE8Compressor::emitRun(std::int32_t count, unsigned char value)
{
    if (m_outFill + 2 > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill++] = static_cast<unsigned char>(128 + count);
    m_out[m_outFill++] = value;
    return true;
}

bool CRLE8Compressor::emitLiteral(const unsigned char* bytes, std::int32_t count)
{
    if (m_outFill + 1 + count > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill++] = static_cast<unsigned char>(count);
    std::memcpy(m_out + m_outFill, bytes, static_cast<std::size_t>(count));
    m_outFill += count;
    return true;
}

bool CRLE8Compressor::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || !isOutput() || !getChannel())
        return false;
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    const std::int32_t n = length;
    m_outFill = 0;
    // Each turn starts with a pending byte at i; the scans below take exactly the bytes that
    // the packet state machine would add to the run or literal begun there.
    std::int32_t i = 0;
    while (i < n)
    {
        const unsigned char pending = in[i];
        if (i + 1 == n)
        {
            if (!emitLiteral(in + i, 1))
                return false;
            break;
        }
        const std::int32_t limit = std::min(n, i + MAX_COUNT);
        std::int32_t j = i + 2;
        bool written;
        if (in[i + 1] == pending)
        {
            while (j < limit && in[j] == pending)
                ++j;
            written = emitRun(j - i, pending);
        }
        else
        {
            // A literal ends before a byte that repeats its predecessor.
            while (j < limit && in[j] != in[j - 1])
                ++j;
            written = emitLiteral(in + i, j - i);
        }
        if (!written)
            return false;
        i = j;
    }
    return writeOut();
}

bool CRLE8Compressor::ensureInput(std::int32_t count)
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

std::int32_t CRLE8Compressor::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || !isInput() || !getChannel())
        return 0;
    std::int32_t handed = 0;
    while (handed < length)
    {
        if (m_left > 0)
        {
            std::int32_t piece = std::min(m_left, length - handed);
            if (m_inRun)
                std::memset(buffer + handed, m_runValue, static_cast<std::size_t>(piece));
            else
            {
                if (!ensureInput(1))
                    break;
                piece = std::min(piece, m_inEnd - m_inPosition);
                std::memcpy(buffer + handed, m_in + m_inPosition, static_cast<std::size_t>(piece));
                m_inPosition += piece;
            }
            handed += piece;
            m_left -= piece;
            continue;
        }
        // A header is taken only once its run value is buffered too, so that a short
        // wrapped channel leaves the decoder at a packet boundary.
        if (!ensureInput(1))
            break;
        const unsigned char header = m_in[m_inPosition];
        if (header >= 128)
        {
            if (!ensureInput(2))
                break;
            m_runValue = m_in[m_inPosition + 1];
            m_inPosition += 2;
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
