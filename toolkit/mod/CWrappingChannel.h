#pragma once
// Base of the channels that wrap another channel (compressors, predictor channels): the
// wrapped channel is referenced while wrapped, and the wrapper's mode flags are the wrapped
// channel's with the wrapper's own bit added, its type code the wrapped channel's.
//
// waitForConnection, connect and isConnected forward (false without a channel), disconnect
// forwards, waitForData forwards with the caller's time-out, flush flushes the wrapped
// channel (false without one).

#include "toolkit/mod/CChannel.h"

namespace kvo::mod {

class CWrappingChannel : public CChannel
{
public:
    //! Replaces the wrapped channel (releases the old one, references the new one, which may
    //! be null) and takes its mode flags (with the wrapper's own bit) and type code.
    virtual void setChannel(CChannel* channel);
    CChannel* getChannel() const { return m_channel.get(); }

    bool waitForConnection(unsigned timeout = 0) override;
    bool connect(unsigned timeout = 0) override;
    void disconnect() override;
    bool isConnected() override;
    bool waitForData(unsigned timeout = 0) override;
    bool flush() override;

protected:
    //! ownBit: the mode bit the wrapper adds (CH_COMPRESSOR, CH_PREDICTOR).
    CWrappingChannel(std::int32_t ownBit, CChannel* channel);

private:
    std::int32_t m_ownBit;
    CChannelPtr m_channel;
};

} // namespace kvo::mod
