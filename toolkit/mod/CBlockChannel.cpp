#include "toolkit/mod/CBlockChannel.h"

#include "toolkit/mod/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace kvo::mod {

CBlockChannel::CBlockChannel(std::int32_t blockSize, CChannel* channel)
    : m_blockSize(std::max(blockSize, MIN_BLOCK_SIZE)), m_buffer(new char[static_cast<std::size_t>(m_blockSize)]),
      m_channel(channel)
{
    if (channel)
    {
        setMode(channel->getMode());
        setType(channel->getType());
    }
    if (isOutput())
        m_left = m_blockSize;
}

CBlockChannel::~CBlockChannel()
{
    flush();
}

bool CBlockChannel::waitForConnection(unsigned timeout)
{
    return m_channel && m_channel->waitForConnection(timeout);
}

bool CBlockChannel::connect(unsigned timeout)
{
    return m_channel && m_channel->connect(timeout);
}

void CBlockChannel::disconnect()
{
    if (m_channel)
        m_channel->disconnect();
}

bool CBlockChannel::isConnected()
{
    return m_channel && m_channel->isConnected();
}

bool CBlockChannel::waitForData(unsigned)
{
    return m_channel && m_channel->waitForData(1000);
}

bool CBlockChannel::writeSubBlock(std::int32_t length)
{
    char header[HEADER_SIZE];
    putInt32(header, SUBBLOCK_MARKER);
    putInt32(header + 4, length);
    return m_channel && m_channel->write(header, HEADER_SIZE) && m_channel->write(m_buffer.get(), length);
}

bool CBlockChannel::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || !isOutput() || m_endOfBlock)
        return false;
    while (length > 0)
    {
        // A full buffer is written only now that more data arrived, so that the block's
        // last sub-block can always be told by being shorter than the block size.
        if (m_left == 0)
        {
            if (!writeSubBlock(m_blockSize))
                return false;
            m_position = 0;
            m_left = m_blockSize;
        }
        const std::int32_t piece = std::min(length, m_left);
        std::memcpy(m_buffer.get() + m_position, data, static_cast<std::size_t>(piece));
        m_position += piece;
        m_left -= piece;
        data += piece;
        length -= piece;
    }
    return true;
}

std::int32_t CBlockChannel::readHeader()
{
    char header[HEADER_SIZE];
    if (!readFully(header, HEADER_SIZE))
        return -1;
    if (getInt32(header) != SUBBLOCK_MARKER)
        return -1;
    const std::int32_t length = getInt32(header + 4);
    if (length < 0 || length > m_blockSize)
        return -1;
    return length;
}

bool CBlockChannel::readFully(char* buffer, std::int32_t length)
{
    while (length > 0)
    {
        const std::int32_t got = m_channel ? m_channel->read(buffer, length) : 0;
        if (got <= 0)
            return false;
        buffer += got;
        length -= got;
    }
    return true;
}

std::int32_t CBlockChannel::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || !isInput())
        return 0;
    std::int32_t handed = 0;
    while (handed < length)
    {
        if (m_left > 0)
        {
            const std::int32_t piece = std::min(length - handed, m_left);
            std::memcpy(buffer + handed, m_buffer.get() + m_position, static_cast<std::size_t>(piece));
            m_position += piece;
            m_left -= piece;
            handed += piece;
            continue;
        }
        if (m_endOfBlock || m_damaged)
            break;
        const std::int32_t subLength = readHeader();
        if (subLength < 0 || !readFully(m_buffer.get(), subLength))
        {
            m_damaged = true;
            break;
        }
        m_position = 0;
        m_left = subLength;
        if (subLength < m_blockSize)
            m_endOfBlock = true;
    }
    return handed;
}

bool CBlockChannel::flush()
{
    if (m_endOfBlock)
        return true;
    if (isOutput())
    {
        bool written = false;
        if (isConnected())
        {
            const std::int32_t buffered = m_blockSize - m_left;
            written = writeSubBlock(buffered);
            // A full last sub-block would not tell the reader that the block ends here.
            if (written && buffered == m_blockSize)
                written = writeSubBlock(0);
        }
        m_endOfBlock = true;
        m_left = 0;
        const bool flushed = m_channel && m_channel->flush();
        return written && flushed;
    }
    if (isInput())
    {
        // The data of the current sub-block are already buffered, so the wrapped channel
        // stands at a sub-block header: skip whole sub-blocks up to the block's last one.
        if (m_damaged || !isConnected())
            return false;
        while (!m_endOfBlock)
        {
            const std::int32_t subLength = readHeader();
            if (subLength < 0)
            {
                m_damaged = true;
                return false;
            }
            if (subLength < m_blockSize)
                m_endOfBlock = true;
            if (!m_channel->skip(subLength))
            {
                m_damaged = true;
                return false;
            }
        }
        return true;
    }
    return false;
}

} // namespace kvo::mod
