#include "toolkit/mod/CFileChannel.h"

namespace kvo::mod {

CFileChannel::CFileChannel(std::int32_t mode, const std::string& path) : CChannel(mode, CH_TYPE_FILE)
{
    const std::int32_t direction = mode & (CH_IN | CH_OUT);
    if (direction == (CH_IN | CH_OUT))
        throw CCannotCreate();
    if (direction == CH_IN)
        m_file = std::fopen(path.c_str(), "rb");
    else if (direction == CH_OUT)
        m_file = std::fopen(path.c_str(), "wb");
}

CFileChannel::~CFileChannel()
{
    disconnect();
}

bool CFileChannel::isUsable() const
{
    return m_file && !std::feof(m_file) && !std::ferror(m_file);
}

bool CFileChannel::waitForConnection(unsigned)
{
    return isUsable();
}

bool CFileChannel::connect(unsigned)
{
    return isUsable();
}

void CFileChannel::disconnect()
{
    if (m_file)
    {
        std::fflush(m_file);
        std::fclose(m_file);
        m_file = nullptr;
    }
}

bool CFileChannel::isConnected()
{
    if (!m_file)
        return false;
    if (isInput())
    {
        const int c = std::fgetc(m_file);
        if (c == EOF)
            return false;
        std::ungetc(c, m_file);
        return true;
    }
    return !std::ferror(m_file);
}

bool CFileChannel::waitForData(unsigned)
{
    return isInput() && isUsable();
}

std::int32_t CFileChannel::read(char* buffer, std::int32_t length)
{
    if (!buffer || length <= 0 || !isInput() || !m_file)
        return 0;
    return static_cast<std::int32_t>(std::fread(buffer, 1, static_cast<std::size_t>(length), m_file));
}

bool CFileChannel::write(const char* data, std::int32_t length)
{
    if (!data || length < 0 || !isOutput() || !m_file)
        return false;
    return std::fwrite(data, 1, static_cast<std::size_t>(length), m_file) == static_cast<std::size_t>(length);
}

bool CFileChannel::flush()
{
    return m_file && std::fflush(m_file) == 0;
}

} // namespace kvo::mod
