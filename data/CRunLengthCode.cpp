#include "data/CRunLengthCode.h"

#include <algorithm>
#include <cstring>

namespace data {

bool CRunLengthCode::begin(std::int64_t hint)
{
    clear();
    if (hint < 0)
    {
        m_failed = true;
        return false;
    }
    if (hint == 0)
        hint = DEFAULT_HINT;
    const std::size_t reserve = std::size_t(hint / 2 + 1);
    m_values.reserve(reserve);
    m_controls.reserve(reserve);
    return true;
}

void CRunLengthCode::clear()
{
    m_values = {};
    m_controls = {};
    m_last = 0;
    m_runLength = 0;
    m_repeat = false;
    m_failed = false;
    m_encodedCount = 0;
}

void CRunLengthCode::finish()
{
    m_values.shrink_to_fit();
    m_controls.shrink_to_fit();
}

inline void CRunLengthCode::startLiteral(std::uint16_t value)
{
    m_values.push_back(value);
    m_controls.push_back(1);
    m_last = value;
    m_runLength = 1;
    m_repeat = false;
}

inline void CRunLengthCode::encodeDifferent(std::uint16_t value)
{
    if (m_runLength < MAX_RUN && !m_repeat)
    {
        ++m_controls.back();
        ++m_runLength;
        m_values.push_back(value);
        m_last = value;
    }
    else
    {
        startLiteral(value);
    }
}

// `count` more copies of the last value. Equivalent to feeding them one by one, but a
// repeat run grows by whole stretches at a time, which is where long background runs
// spend their time.
inline void CRunLengthCode::encodeEqual(std::size_t count)
{
    while (count > 0)
    {
        if (m_runLength == MAX_RUN)
        {
            startLiteral(m_last);
            --count;
        }
        else if (!m_repeat)
        {
            if (m_runLength == 1)
            {
                // The literal run of one becomes a repeat of two.
                m_controls.back() = std::uint8_t((m_controls.back() + 1) | REPEAT);
            }
            else
            {
                // The last literal value moves into a new repeat run of two; its value is
                // already in the value stream.
                --m_controls.back();
                m_controls.push_back(REPEAT | 2);
            }
            m_runLength = 2;
            m_repeat = true;
            --count;
        }
        else
        {
            const std::size_t add = std::min<std::size_t>(count, std::size_t(MAX_RUN - m_runLength));
            m_runLength += int(add);
            m_controls.back() = std::uint8_t(m_controls.back() + add);
            count -= add;
        }
    }
}

void CRunLengthCode::encode(const std::uint16_t* values, std::size_t count)
{
    if (m_failed || count == 0)
        return;
    std::size_t i = 0;
    if (m_runLength == 0)
    {
        startLiteral(values[0]);
        i = 1;
    }
    while (i < count)
    {
        const std::uint16_t value = values[i];
        if (value != m_last)
        {
            encodeDifferent(value);
            ++i;
            continue;
        }
        // Measure the stretch of equal values, four at a time while possible.
        std::size_t j = i + 1;
        const std::uint64_t pattern = 0x0001000100010001ull * value;
        while (j + 4 <= count)
        {
            std::uint64_t word;
            std::memcpy(&word, values + j, sizeof(word));
            if (word != pattern)
                break;
            j += 4;
        }
        while (j < count && values[j] == value)
            ++j;
        encodeEqual(j - i);
        i = j;
    }
    m_encodedCount += count;
}

CRunLengthCode::CDecoder::CDecoder(const CRunLengthCode& code)
    : m_control(code.m_controls.data()),
      m_controlEnd(code.m_controls.data() + code.m_controls.size()),
      m_value(code.m_values.data()),
      m_valueEnd(code.m_values.data() + code.m_values.size())
{
}

bool CRunLengthCode::CDecoder::nextRun()
{
    while (m_control != m_controlEnd)
    {
        const std::uint8_t control = *m_control++;
        m_repeat = (control & REPEAT) != 0;
        m_left = control & 127u;
        if (m_repeat)
        {
            if (m_value == m_valueEnd)
                break;
            if (m_left == 0)
            {
                ++m_value; // an empty repeat still owns its value
                continue;
            }
            return true;
        }
        m_left = std::min<std::size_t>(m_left, std::size_t(m_valueEnd - m_value));
        if (m_left > 0)
            return true;
        if (m_value == m_valueEnd && (control & 127u) != 0)
            break;
    }
    m_control = m_controlEnd;
    m_left = 0;
    return false;
}

std::size_t CRunLengthCode::CDecoder::decode(std::uint16_t* out, std::size_t count)
{
    std::size_t written = 0;
    while (written < count)
    {
        if (m_left == 0 && !nextRun())
            break;
        const std::size_t n = std::min(m_left, count - written);
        if (m_repeat)
        {
            std::fill_n(out + written, n, *m_value);
            m_left -= n;
            if (m_left == 0)
                ++m_value;
        }
        else
        {
            std::memcpy(out + written, m_value, n * sizeof(std::uint16_t));
            m_value += n;
            m_left -= n;
        }
        written += n;
    }
    return written;
}

} // namespace data
