#pragma once
// Run-length code on values of W bytes (W = 1: CRLE8Compressor, W = 2: CRLE16Compressor).
//
// The encoded stream is a sequence of packets with a header byte h:
//   h >= 128: a run, one value follows (W bytes), standing for h - 128 copies of it (1..127);
//   h <  128: a literal, h values follow and are copied (1..127).
// Each write call is encoded on its own: no packet spans two calls and an empty call
// writes nothing. A pending value starts a run when the next value equals it, a literal
// otherwise; a run grows while the values repeat (up to 127), a literal while each value
// differs from the one before (up to 127; the repeating value then starts the next packet).
// So the bytes 41 41 41 42 encode as 83 41 01 42, and 41 42 42 42 as 02 41 42 82 42.
// Values of two bytes are little-endian; lengths must then be even (reads return 0 and
// writes false otherwise), and reads hand out whole values only.
//
// Reading serves any length, splitting packets across calls. The decoder reads ahead up to
// BUFFER_SIZE bytes from the wrapped channel, which must therefore end where the encoded
// data end (a block channel does). A read comes short only when the wrapped channel runs
// dry; headers 0 and 128 (never written) stand for empty packets.

#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

template <int W>
class CRunLengthCompressor : public CChannelCompressor
{
public:
    static constexpr std::int32_t MAX_COUNT = 127;
    static constexpr std::int32_t BUFFER_SIZE = 4096;

    //! Also drops what was read ahead from the previous channel.
    void setChannel(CChannel* channel) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! False for lengths that are no whole number of values and when a write to the
    //! wrapped channel fails.
    bool write(const char* data, std::int32_t length) override;

protected:
    CRunLengthCompressor(std::int32_t method, CChannel* channel) : CChannelCompressor(method, channel) {}

private:
    bool emitRun(std::int32_t count, const unsigned char* value);
    bool emitLiteral(const unsigned char* values, std::int32_t count);
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
    std::int32_t m_left = 0; //!< values of the current packet still owed
    bool m_inRun = false;
    unsigned char m_runValue[W] = {};
};

extern template class CRunLengthCompressor<1>;
extern template class CRunLengthCompressor<2>;

} // namespace kvo::mod
