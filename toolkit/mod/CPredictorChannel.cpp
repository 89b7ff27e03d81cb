#include "toolkit/mod/CPredictorChannel.h"

namespace kvo::mod {

CPredictorChannel::CPredictorChannel(CChannel* channel) : CChannel(CH_PREDICTOR)
{
    CPredictorChannel::setChannel(channel);
}

void CPredictorChannel::setChannel(CChannel* channel)
{
    m_channel = channel;
    setMode((channel ? channel->getMode() : 0) | CH_PREDICTOR);
    setType(channel ? channel->getType() : CH_TYPE_NULL);
}

bool CPredictorChannel::waitForConnection(unsigned timeout)
{
    return m_channel && m_channel->waitForConnection(timeout);
}

bool CPredictorChannel::connect(unsigned timeout)
{
    return m_channel && m_channel->connect(timeout);
}

void CPredictorChannel::disconnect()
{
    if (m_channel)
        m_channel->disconnect();
}

bool CPredictorChannel::isConnected()
{
    return m_channel && m_channel->isConnected();
}

bool CPredictorChannel::waitForData(unsigned timeout)
{
    return m_channel && m_channel->waitForData(timeout);
}

bool CPredictorChannel::flush()
{
    return m_channel && m_channel->flush();
}

} // namespace kvo::mod
