#include "toolkit/mod/CWrappingChannel.h"

namespace kvo::mod {

CWrappingChannel::CWrappingChannel(std::int32_t ownBit, CChannel* channel) : CChannel(ownBit), m_ownBit(ownBit)
{
    CWrappingChannel::setChannel(channel);
}

void CWrappingChannel::setChannel(CChannel* channel)
{
    m_channel = channel;
    setMode((channel ? channel->getMode() : 0) | m_ownBit);
    setType(channel ? channel->getType() : CH_TYPE_NULL);
}

bool CWrappingChannel::waitForConnection(unsigned timeout)
{
    return m_channel && m_channel->waitForConnection(timeout);
}

bool CWrappingChannel::connect(unsigned timeout)
{
    return m_channel && m_channel->connect(timeout);
}

void CWrappingChannel::disconnect()
{
    if (m_channel)
        m_channel->disconnect();
}

bool CWrappingChannel::isConnected()
{
    return m_channel && m_channel->isConnected();
}

bool CWrappingChannel::waitForData(unsigned timeout)
{
    return m_channel && m_channel->waitForData(timeout);
}

bool CWrappingChannel::flush()
{
    return m_channel && m_channel->flush();
}

} // namespace kvo::mod
