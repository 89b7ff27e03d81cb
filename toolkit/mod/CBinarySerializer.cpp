#include "toolkit/mod/CBinarySerializer.h"

#include "toolkit/mod/CBlockChannel.h"
#include "toolkit/mod/CCompressorFactory.h"
#include "toolkit/mod/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <zlib.h>

namespace kvo::mod {

namespace {

// One channel call moves at most this many bytes.
constexpr std::size_t MAX_PIECE = std::size_t(1) << 30;

// Reads exactly `length` bytes unless the channel runs dry.
bool readFully(CChannel* channel, char* buffer, std::int32_t length)
{
    while (length > 0)
    {
        const std::int32_t got = channel ? channel->read(buffer, length) : 0;
        if (got <= 0)
            return false;
        buffer += got;
        length -= got;
    }
    return true;
}

} // namespace

CBinarySerializer::CBinarySerializer(CChannel* channel, std::uint32_t flags)
    : CChannelSerializer<CBinarySerializer>(channel, flags)
{
}

CBinarySerializer::~CBinarySerializer() = default;

bool CBinarySerializer::writeFileHeader()
{
    char header[HEADER_SIZE] = {};
    putInt32(header, static_cast<std::int32_t>(FILE_MAGIC));
    putInt32(header + 4, FILE_VERSION);
    CChannel* channel = getBaseChannel();
    return channel && channel->write(header, HEADER_SIZE);
}

bool CBinarySerializer::checkFileHeader()
{
    char header[HEADER_SIZE];
    if (!readFully(getBaseChannel(), header, HEADER_SIZE))
        return false;
    return static_cast<std::uint32_t>(getInt32(header)) == FILE_MAGIC && getInt32(header + 4) == FILE_VERSION;
}

bool CBinarySerializer::writeBlockHeader(const std::string& name, std::int32_t method, std::int32_t blockSize)
{
    char header[HEADER_SIZE] = {};
    std::memcpy(header, name.data(), std::min<std::size_t>(name.size(), NAME_SIZE));
    putInt32(header + NAME_SIZE, method);
    putInt32(header + NAME_SIZE + 4, blockSize);
    CChannel* channel = getBaseChannel();
    return channel && channel->write(header, HEADER_SIZE);
}

bool CBinarySerializer::readBlockHeader(CHeader& header)
{
    char bytes[HEADER_SIZE];
    if (!readFully(getBaseChannel(), bytes, HEADER_SIZE))
        return false;
    std::memcpy(header.name, bytes, NAME_SIZE);
    header.method = getInt32(bytes + NAME_SIZE);
    header.blockSize = getInt32(bytes + NAME_SIZE + 4);
    return true;
}

bool CBinarySerializer::nameMatches(const char (&stored)[NAME_SIZE], const std::string& name)
{
    // Up to and including the terminating zero, or over all 32 characters.
    for (std::int32_t i = 0; i < NAME_SIZE; ++i)
    {
        const char wanted = i < std::int32_t(name.size()) ? name[std::size_t(i)] : '\0';
        if (stored[i] != wanted)
            return false;
        if (wanted == '\0')
            return true;
    }
    return true;
}

bool CBinarySerializer::skipBlock(std::int32_t blockSize)
{
    if (blockSize <= 0)
        return true;
    if (blockSize > MAX_BLOCK_SIZE)
        return false;
    CChannelPtr block(new CBlockChannel(blockSize, getBaseChannel()));
    return block->flush();
}

bool CBinarySerializer::findBlock(const std::string& name, std::int32_t& method, std::int32_t& blockSize)
{
    CHeader header;
    while (readBlockHeader(header))
    {
        if (nameMatches(header.name, name))
        {
            method = header.method;
            blockSize = header.blockSize;
            return true;
        }
        if (nameMatches(header.name, TERMINAL_NAME))
            return false;
        if (!skipBlock(header.blockSize))
            return false;
    }
    return false;
}

bool CBinarySerializer::skipToTerminal()
{
    CHeader header;
    while (readBlockHeader(header))
    {
        if (nameMatches(header.name, TERMINAL_NAME))
            return true;
        if (!skipBlock(header.blockSize))
            return false;
    }
    return false;
}

void CBinarySerializer::beginWrite(const std::string& name, std::int32_t method, std::int32_t blockSize)
{
    if (getFlags() & FLAG_NO_BLOCKS)
    {
        setCurrentChannel(getBaseChannel());
        return;
    }
    // The previous block's compressor goes first, so that it cannot write after this header.
    setCurrentChannel(nullptr);
    CChannelPtr block(new CBlockChannel(blockSize, getBaseChannel()));
    kvo::base::CRefPtr<CChannelCompressor> compressor(CCompressorFactory::getInstance().create(method));
    // The header comes first in the stream: neither channel has written anything yet.
    if (!writeBlockHeader(name, method, blockSize))
        throw Serializer::CWriteFailed();
    compressor->setChannel(block.get());
    setCurrentChannel(compressor.get());
}

void CBinarySerializer::endWrite()
{
    CChannel* channel = getCurrentChannel();
    if (!channel || !channel->flush())
        throw Serializer::CWriteFailed();
}

std::int32_t CBinarySerializer::beginRead(const std::string& name)
{
    if (getFlags() & FLAG_NO_BLOCKS)
    {
        setCurrentChannel(getBaseChannel());
        return 0;
    }
    setCurrentChannel(nullptr);
    std::int32_t method = 0;
    std::int32_t blockSize = 0;
    if (!findBlock(name, method, blockSize) || blockSize < 0 || blockSize > MAX_BLOCK_SIZE)
        throw Serializer::CReadFailed();
    kvo::base::CRefPtr<CChannelCompressor> compressor(CCompressorFactory::getInstance().create(method));
    CChannelPtr block(new CBlockChannel(blockSize, getBaseChannel()));
    compressor->setChannel(block.get());
    setCurrentChannel(compressor.get());
    return method;
}

void CBinarySerializer::endRead()
{
    CChannel* channel = getCurrentChannel();
    if (!channel || !channel->flush())
        throw Serializer::CReadFailed();
}

void CBinarySerializer::write(const void* data, std::size_t size)
{
    CChannel* channel = getCurrentChannel();
    if (!channel || (!data && size > 0))
        throw Serializer::CWriteFailed();
    const char* bytes = static_cast<const char*>(data);
    while (size > 0)
    {
        const std::size_t piece = std::min(size, MAX_PIECE);
        if (!channel->write(bytes, static_cast<std::int32_t>(piece)))
            throw Serializer::CWriteFailed();
        addToChecksum(bytes, piece);
        bytes += piece;
        size -= piece;
    }
}

void CBinarySerializer::read(void* data, std::size_t size)
{
    CChannel* channel = getCurrentChannel();
    if (!channel || (!data && size > 0))
        throw Serializer::CReadFailed();
    char* bytes = static_cast<char*>(data);
    while (size > 0)
    {
        const std::size_t piece = std::min(size, MAX_PIECE);
        if (!readFully(channel, bytes, static_cast<std::int32_t>(piece)))
            throw Serializer::CReadFailed();
        addToChecksum(bytes, piece);
        bytes += piece;
        size -= piece;
    }
}

void CBinarySerializer::addToChecksum(const void* data, std::size_t size)
{
    if (m_checksumOn)
        m_checksum = static_cast<std::uint32_t>(crc32_z(m_checksum, static_cast<const Bytef*>(data), size));
}

} // namespace kvo::mod
