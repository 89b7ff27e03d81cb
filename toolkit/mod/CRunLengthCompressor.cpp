#include "toolkit/mod/CRunLengthCompressor.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kvo::mod {

namespace {

template <int W>
bool sameValue(const unsigned char* values, std::int32_t a, std::int32_t b)
{
    if constexpr (W == 1)
        return values[a] == values[b];
    else
        return std::memcmp(values + W * a, values + W * b, W) == 0;
}

} // namespace

template <int W>
void CRunLengthCompressor<W>::setChannel(CChannel* channel)
{
    CChannelCompressor::setChannel(channel);
    m_inPosition = m_inEnd = 0;
    m_left = 0;
}

template <int W>
bool CRunLengthCompressor<W>::writeOut()
{
    const std::int32_t fill = std::exchange(m_outFill, 0);
    return fill == 0 || getChannel()->write(reinterpret_cast<const char*>(m_out), fill);
}

template <int W>
bool CRunLengthCompressor<W>::emitRun(std::int32_t count, const unsigned char* value)
{
    if (m_outFill + 1 + W > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill] = static_cast<unsigned char>(128 + count);
    std::memcpy(m_out + m_outFill + 1, value, W);
    m_outFill += 1 + W;
    return true;
}

template <int W>
bool CRunLengthCompressor<W>::emitLiteral(const unsigned char* values, std::int32_t count)
{
    if (m_outFill + 1 + W * count > BUFFER_SIZE && !writeOut())
        return false;
    m_out[m_outFill++] = static_cast<unsigned char>(count);
    std::memcpy(m_out + m_outFill, values, static_cast<std::size_t>(W * count));
    m_outFill += W * count;
    return true;
}

template <int W>
bool CRunLengthCompressor<W>::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || length % W != 0 || !isOutput() || !getChannel())
        return false;
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    const std::int32_t n = length / W;
    m_outFill = 0;
    // Each turn starts with a pending value at i; the scans below take exactly the values
    // that the packet state machine would add to the run or literal begun there.
    std::int32_t i = 0;
    while (i < n)
    {
        if (i + 1 == n)
        {
            if (!emitLiteral(in + W * i, 1))
                return false;
            break;
        }
        const std::int32_t limit = std::min(n, i + MAX_COUNT);
        std::int32_t j = i + 2;
        bool written;
        if (sameValue<W>(in, i + 1, i))
        {
            while (j < limit && sameValue<W>(in, j, i))
                ++j;
            written = emitRun(j - i, in + W * i);
        }
        else
        {
            // A literal ends before a value that repeats its predecessor.
            while (j < limit && !sameValue<W>(in, j, j - 1))
                ++j;
            written = emitLiteral(in + W * i, j - i);
        }
        if (!written)
            return false;
        i = j;
    }
    return writeOut();
}

template <int W>
bool CRunLengthCompressor<W>::ensureInput(std::int32_t count)
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

template <int W>
std::int32_t CRunLengthCompressor<W>::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || length % W != 0 || !isInput() || !getChannel())
        return 0;
    std::int32_t handed = 0; // always whole values
    while (handed < length)
    {
        if (m_left > 0)
        {
            std::int32_t values = std::min(m_left, (length - handed) / W);
            if (m_inRun)
            {
                if constexpr (W == 1)
                    std::memset(buffer + handed, m_runValue[0], static_cast<std::size_t>(values));
                else
                    for (std::int32_t k = 0; k < values; ++k)
                        std::memcpy(buffer + handed + W * k, m_runValue, W);
            }
            else
            {
                if (!ensureInput(W))
                    break;
                values = std::min(values, (m_inEnd - m_inPosition) / W);
                std::memcpy(buffer + handed, m_in + m_inPosition, static_cast<std::size_t>(W * values));
                m_inPosition += W * values;
            }
            handed += W * values;
            m_left -= values;
            continue;
        }
        // A header is taken only with its run value, so that a short wrapped channel leaves
        // the decoder at a packet boundary.
        if (!ensureInput(1))
            break;
        const unsigned char header = m_in[m_inPosition];
        if (header >= 128)
        {
            if (!ensureInput(1 + W))
                break;
            std::memcpy(m_runValue, m_in + m_inPosition + 1, W);
            m_inPosition += 1 + W;
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

template class CRunLengthCompressor<1>;
template class CRunLengthCompressor<2>;

} // namespace kvo::mod
