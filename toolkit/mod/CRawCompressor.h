#pragma once
// The compressor that does not encode (method 0): reads and writes pass straight to the
// wrapped channel.

#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

class CRawCompressor : public CChannelCompressor
{
public:
    explicit CRawCompressor(CChannel* channel = nullptr) : CChannelCompressor(METHOD_RAW, channel) {}

    //! What the wrapped channel's read gives.
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! What the wrapped channel's write gives.
    bool write(const char* data, std::int32_t length) override;
};

} // namespace kvo::mod
