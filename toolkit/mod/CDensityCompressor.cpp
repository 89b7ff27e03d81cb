#include "toolkit/mod/CDensityCompressor.h"

namespace kvo::mod {

CDensityCompressor::CDensityCompressor(CChannel* channel) : CChannelCompressor(METHOD_DENSITY)
{
    CDensityCompressor::setChannel(channel);
}

void CDensityCompressor::setChannel(CChannel* channel)
{
    CChannelCompressor::setChannel(channel);
    m_runLength.setChannel(channel);
    m_predictor.setChannel(&m_runLength);
}

std::int32_t CDensityCompressor::read(char* buffer, std::int32_t length)
{
    return m_predictor.read(buffer, length);
}

bool CDensityCompressor::write(const char* data, std::int32_t length)
{
    return m_predictor.write(data, length);
}

bool CDensityCompressor::flush()
{
    return m_predictor.flush();
}

} // namespace kvo::mod
