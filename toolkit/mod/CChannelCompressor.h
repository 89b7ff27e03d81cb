#pragma once
// Base of the compressors: channels that wrap another channel, encode what is written to
// them into the wrapped channel and decode what is read from it.
//
// The serializer puts one compressor in front of every block channel; the block header
// stores the compressor's method identifier (METHOD_*), and CCompressorFactory makes the
// compressor back from it. A compressor's mode flags are the wrapped channel's with
// CH_COMPRESSOR added, its type code is the wrapped channel's.
//
// The wrapped channel is referenced while wrapped. waitForConnection, connect and
// isConnected forward to it (false without one), disconnect forwards, waitForData forwards
// with a time-out of 1000 ms, flush ends what the compressor holds and flushes the wrapped
// channel (false without one). Every compressor flushes the wrapped channel when destroyed.
// Reading or writing outside the mode, without a buffer or with a negative length gives 0
// or false. Not locked: one thread uses a compressor chain at a time.

#include "toolkit/mod/CWrappingChannel.h"

namespace kvo::mod {

class CChannelCompressor : public CWrappingChannel
{
public:
    //! Method identifiers, as stored in block headers.
    enum EMethod : std::int32_t
    {
        METHOD_RAW = 0,
        METHOD_RLE8 = 1,
        METHOD_RLE16 = 2,
        METHOD_GZIP = 3,
        METHOD_DENSITY = 8,
    };

    //! channel may be null; give it later with setChannel.
    explicit CChannelCompressor(std::int32_t method, CChannel* channel = nullptr);
    ~CChannelCompressor() override;

    std::int32_t getMethod() const { return m_method; }

    //! Forwards with a time-out of 1000 ms, whatever the caller's.
    bool waitForData(unsigned timeout = 0) override;

private:
    std::int32_t m_method;
};

using CChannelCompressorPtr = kvo::base::CRefPtr<CChannelCompressor>;

} // namespace kvo::mod
