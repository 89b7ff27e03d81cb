#pragma once
// Base of the predictor channels: channels that wrap another channel and transform the
// data of each call on their way through (the density compressor puts one in front of its
// run-length code). Mode flags are the wrapped channel's with CH_PREDICTOR added; the rest
// is the wrapping channel's (waitForData forwards the caller's time-out).

#include "toolkit/mod/CWrappingChannel.h"

namespace kvo::mod {

class CPredictorChannel : public CWrappingChannel
{
public:
    explicit CPredictorChannel(CChannel* channel = nullptr) : CWrappingChannel(CH_PREDICTOR, channel) {}
};

} // namespace kvo::mod
