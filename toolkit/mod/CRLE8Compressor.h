#pragma once
// Run-length code on bytes (method 1).
//
// The encoded stream is a sequence of packets with a header byte h:
//   h >= 128: a run, one value byte follows, standing for h - 128 copies of it (1..127);
//   h <  128: a literal, h bytes follow and are copied (1..127).
// Each write call is encoded on its own: no packet spans two calls and an empty call
// writes nothing. A pending byte starts a run when the next byte equals it, a literal
// otherwise; a run grows while the bytes repeat (up to 127), a literal while each byte
// differs from the one before (up to 127; the repeating byte then starts the next packet).
// So 41 41 41 42 encodes as 83 41 01 42, and 41 42 42 42 as 02 41 42 82 42.
//
// Reading serves any length, splitting packets across calls. The decoder reads ahead up to
// BUFFER_SIZE bytes from the wrapped channel, which must therefore end where the encoded
// data end (a block channel does). A read comes short only when the wrapped channel runs
// dry; headers 0 and 128 (never written) stand for empty packets.

#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

class CRLE8Compressor : public CChannelCompressor
{
public:
    static constexpr std::int32_t MAX_COUNT = 127;
    static constexpr std::int32_t BUFFER_SIZE = 4096;

    explicit CRLE8Compressor(CChannel* channel = nullptr) : CChannelCompressor(METHOD_RLE8, channel) {}

    //! Also drops what was read ahead from the previous channel.
    void setChannel(CChannel* channel) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! False when a write to the wrapped channel fails.
    bool write(const char* data, std::int32_t length) override;

private:
    bool emitRun(std::int32_t count, unsigned char value);
    bool emitLiteral(const unsigned char* bytes, std::int32_t count);
    bool writeOut();
    //! True when at least count unread bytes are buffered, reading more as needed.
    bool ensureInput(std::int32_t count);

    // Encoded packets of the current write call, written out in pieces of about BUFFER_SIZE.
    unsigned char m_out[BUFFER_SIZE];
    std::int32_t m_outFill = 0;

    // Read-ahead from the wrapped channel and the packet being handed out.
    unsigned char m_in[BUFFER_SIZE];
    std::int32_t m_inPosition = 0;
    std::int32_t m_inEnd = 0;
    std::int32_t m_left = 0;          //!< bytes of the current packet still owed
    bool m_inRun = false;
    unsigned char m_runValue = 0;
};

} // namespace kvo::mod
