#pragma once
// Base of the predictor channels: channels that wrap another channel and transform the
// data of each call on their way through (the density compressor puts one in front of its
// run-length code). Mode flags are the wrapped channel's with CH_PREDICTOR added, the type
// code is the wrapped channel's; the wrapped channel is referenced while wrapped.
//
// waitForConnection, connect and isConnected forward (false without a channel), disconnect
// forwards, waitForData forwards with the caller's time-out, flush flushes the wrapped
// channel (false without one).

#include "toolkit/mod/CChannel.h"

namespace kvo::mod {

class CPredictorChannel : public CChannel
{
public:
    explicit CPredictorChannel(CChannel* channel = nullptr);

    //! Replaces the wrapped channel (may be null) and takes its mode flags (with
    //! CH_PREDICTOR) and type code.
    virtual void setChannel(CChannel* channel);
    CChannel* getChannel() const { return m_channel.get(); }

    bool waitForConnection(unsigned timeout = 0) override;
    bool connect(unsigned timeout = 0) override;
    void disconnect() override;
    bool isConnected() override;
    bool waitForData(unsigned timeout = 0) override;
    bool flush() override;

private:
    CChannelPtr m_channel;
};

} // namespace kvo::mod
