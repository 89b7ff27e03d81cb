#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

CChannelCompressor::CChannelCompressor(std::int32_t method, CChannel* channel)
    : CWrappingChannel(CH_COMPRESSOR, channel), m_method(method)
{
}

CChannelCompressor::~CChannelCompressor()
{
    if (CChannel* channel = getChannel())
        channel->flush();
}

bool CChannelCompressor::waitForData(unsigned)
{
    return CWrappingChannel::waitForData(1000);
}

} // namespace kvo::mod
