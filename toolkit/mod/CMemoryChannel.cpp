#include "toolkit/mod/CMemoryChannel.h"

#include <algorithm>
#include <cstring>

namespace kvo::mod {

CMemoryChannel::CMemoryChannel(std::int32_t mode, std::vector<char> bytes)
    : CChannel(mode, CH_TYPE_NULL), m_bytes(std::move(bytes))
{
}

CMemoryChannel::CMemoryChannel(const void* data, std::size_t size)
    : CChannel(CH_IN, CH_TYPE_NULL),
      m_bytes(static_cast<const char*>(data), static_cast<const char*>(data) + (data ? size : 0))
{
}

bool CMemoryChannel::waitForConnection(unsigned)
{
    return isConnected();
}

bool CMemoryChannel::connect(unsigned)
{
    return isConnected();
}

bool CMemoryChannel::isConnected()
{
    if (isInput())
        return m_position < m_bytes.size();
    return isOutput();
}

bool CMemoryChannel::waitForData(unsigned)
{
    return isInput() && m_position < m_bytes.size();
}

std::int32_t CMemoryChannel::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || !isInput())
        return 0;
    const std::size_t piece = std::min(static_cast<std::size_t>(length), m_bytes.size() - m_position);
    if (piece > 0)
        std::memcpy(buffer, m_bytes.data() + m_position, piece);
    m_position += piece;
    return static_cast<std::int32_t>(piece);
}

bool CMemoryChannel::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || !isOutput())
        return false;
    m_bytes.insert(m_bytes.end(), data, data + length);
    return true;
}

} // namespace kvo::mod
