#pragma once
// Run-length code on 16-bit values (method 2): the packets of CRLE8Compressor over values
// instead of bytes. A run packet is the header byte h >= 128 and one value (3 bytes), a
// literal packet the header byte h < 128 and h values (1 + 2h bytes); values are
// little-endian, as the samples lie in the caller's buffers. The encoder decides packets
// as the byte code does, comparing whole values.
//
// Read and write lengths must be even: an odd or negative length reads 0 / writes false.
// Reading serves any even length; it reads ahead like CRLE8Compressor and comes short only
// when the wrapped channel runs dry.

#include "toolkit/mod/CChannelCompressor.h"

namespace kvo::mod {

class CRLE16Compressor : public CChannelCompressor
{
public:
    static constexpr std::int32_t MAX_COUNT = 127;
    static constexpr std::int32_t BUFFER_SIZE = 4096;

    explicit CRLE16Compressor(CChannel* channel = nullptr) : CChannelCompressor(METHOD_RLE16, channel) {}

    //! Also drops what was read ahead from the previous channel.
    void setChannel(CChannel* channel) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! False for odd lengths and when a write to the wrapped channel fails.
    bool write(const char* data, std::int32_t length) override;

private:
    bool emitRun(std::int32_t count, const unsigned char* value);
    bool emitLiteral(const unsigned char* values, std::int32_t count);
    bool writeOut();
    bool ensureInput(std::int32_t count);

    unsigned char m_out[BUFFER_SIZE];
    std::int32_t m_outFill = 0;

    unsigned char m_in[BUFFER_SIZE];
    std::int32_t m_inPosition = 0;
    std::int32_t m_inEnd = 0;
    std::int32_t m_left = 0;          //!< values of the current packet still owed
    bool m_inRun = false;
    unsigned char m_runValue[2] = {};
};

} // namespace kvo::mod
