#pragma once
// The zlib compressor (method 3): data are written as zlib streams (deflate with a zlib
// header and checksum, window bits 15, memory level 8, default strategy) in the wrapped
// channel; the factory makes it with level 6.
//
// Writing feeds deflate without flushing and writes its output in pieces of up to
// BUFFER_SIZE bytes. flush() in output mode finishes the stream and starts a new one for
// later writes; when nothing was written since the last finish it writes no (empty) stream
// and only flushes the wrapped channel. The destructor finishes a stream in progress.
//
// Reading inflates into a BUFFER_SIZE buffer, refilling its input from the wrapped channel
// BUFFER_SIZE bytes at a time (so the wrapped channel must end where the compressed data
// end, as a block channel does). Streams written one after another read as one. A read
// comes short when the wrapped channel runs dry; damaged data (or a stream that needs a
// dictionary) end it too, and every later read gives 0.

#include "toolkit/mod/CChannelCompressor.h"

#include <memory>

namespace kvo::mod {

class CGZipCompressor : public CChannelCompressor
{
public:
    static constexpr std::int32_t DEFAULT_LEVEL = 6;
    static constexpr std::int32_t BUFFER_SIZE = 4096;

    //! level: 0 (store) to 9 (smallest), or -1 for zlib's default. With any other level
    //! every write and flush fails.
    explicit CGZipCompressor(std::int32_t level = DEFAULT_LEVEL, CChannel* channel = nullptr);
    ~CGZipCompressor() override;

    //! Finishes a stream in progress on the old channel, then forgets what was read ahead
    //! from it.
    void setChannel(CChannel* channel) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! False when deflate fails or a write to the wrapped channel fails.
    bool write(const char* data, std::int32_t length) override;
    //! Output: finishes the stream (if any data were written since the last finish), then
    //! flushes the wrapped channel. Input: flushes the wrapped channel.
    bool flush() override;

    std::int32_t getLevel() const { return m_level; }

private:
    struct CStreams;

    bool finishStream();

    std::int32_t m_level;
    std::unique_ptr<CStreams> m_streams;
};

} // namespace kvo::mod
