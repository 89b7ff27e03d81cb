#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

CChannelCompressor::CChannelCompressor(std::int32_t method, CChannel* channel) : CChannel(CH_COMPRESSOR), m_method(method)
{
    CChannelCompressor::setChannel(channel);
}

CChannelCompressor::~CChannelCompressor()
{
    if (m_channel)
        m_channel->flush();
}

void CChannelCompressor::setChannel(CChannel* channel)
{
    m_channel = channel;
    setMode((channel ? channel->getMode() : 0) | CH_COMPRESSOR);
    setType(channel ? channel->getType() : CH_TYPE_NULL);
}

bool CChannelCompressor::waitForConnection(unsigned timeout)
{
    return m_channel && m_channel->waitForConnection(timeout);
}

bool CChannelCompressor::connect(unsigned timeout)
{
    return m_channel && m_channel->connect(timeout);
}

void CChannelCompressor::disconnect()
{
    if (m_channel)
        m_channel->disconnect();
}

bool CChannelCompressor::isConnected()
{
    return m_channel && m_channel->isConnected();
}

bool CChannelCompressor::waitForData(unsigned)
{
    return m_channel && m_channel->waitForData(1000);
}

bool CChannelCompressor::flush()
{
    return m_channel && m_channel->flush();
}

} // namespace kvo::mod
