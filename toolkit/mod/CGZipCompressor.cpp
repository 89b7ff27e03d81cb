#include "toolkit/mod/CGZipCompressor.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace kvo::mod {

struct CGZipCompressor::CStreams
{
    z_stream deflater{};
    z_stream inflater{};
    bool deflaterReady = false;
    bool inflaterReady = false;
    bool pending = false;   //!< data written since the stream was last finished
    bool damaged = false;   //!< inflate failed; reading is over
    unsigned char input[BUFFER_SIZE];       //!< compressed bytes read from the wrapped channel
    unsigned char compressed[BUFFER_SIZE];  //!< deflate output on its way out
    unsigned char plain[BUFFER_SIZE];       //!< inflated bytes not yet handed out
    std::int32_t plainFill = 0;
    std::int32_t plainPosition = 0;

    void resetReading()
    {
        if (inflaterReady)
            inflateReset(&inflater);
        inflater.next_in = Z_NULL;
        inflater.avail_in = 0;
        damaged = false;
        plainFill = plainPosition = 0;
    }
};

CGZipCompressor::CGZipCompressor(std::int32_t level, CChannel* channel)
    : CChannelCompressor(METHOD_GZIP, channel), m_level(level), m_streams(std::make_unique<CStreams>())
{
    constexpr int WINDOW_BITS = 15;
    constexpr int MEMORY_LEVEL = 8;
    m_streams->deflaterReady =
        deflateInit2(&m_streams->deflater, level, Z_DEFLATED, WINDOW_BITS, MEMORY_LEVEL, Z_DEFAULT_STRATEGY) == Z_OK;
    m_streams->inflaterReady = inflateInit2(&m_streams->inflater, WINDOW_BITS) == Z_OK;
}

CGZipCompressor::~CGZipCompressor()
{
    if (isOutput())
        finishStream();
    if (m_streams->deflaterReady)
        deflateEnd(&m_streams->deflater);
    if (m_streams->inflaterReady)
        inflateEnd(&m_streams->inflater);
}

void CGZipCompressor::setChannel(CChannel* channel)
{
    if (getChannel() && isOutput())
        finishStream();
    CChannelCompressor::setChannel(channel);
    m_streams->resetReading();
}

bool CGZipCompressor::write(const char* data, std::int32_t length)
{
    CStreams& s = *m_streams;
    if (!data || length < 0 || !isOutput() || !getChannel() || !s.deflaterReady)
        return false;
    if (length == 0)
        return true;
    s.pending = true;
    s.deflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    s.deflater.avail_in = static_cast<uInt>(length);
    // Deflate takes all input once it leaves output space unused.
    do
    {
        s.deflater.next_out = s.compressed;
        s.deflater.avail_out = BUFFER_SIZE;
        if (deflate(&s.deflater, Z_NO_FLUSH) == Z_STREAM_ERROR)
            return false;
        const auto produced = static_cast<std::int32_t>(BUFFER_SIZE - s.deflater.avail_out);
        if (produced > 0 && !getChannel()->write(reinterpret_cast<const char*>(s.compressed), produced))
            return false;
    } while (s.deflater.avail_out == 0);
    return true;
}

bool CGZipCompressor::finishStream()
{
    CStreams& s = *m_streams;
    if (!s.pending)
        return true;
    s.pending = false;
    bool finished = false;
    if (getChannel())
    {
        for (;;)
        {
            s.deflater.next_out = s.compressed;
            s.deflater.avail_out = BUFFER_SIZE;
            const int result = deflate(&s.deflater, Z_FINISH);
            const auto produced = static_cast<std::int32_t>(BUFFER_SIZE - s.deflater.avail_out);
            if (result == Z_STREAM_ERROR)
                break;
            if (produced > 0 && !getChannel()->write(reinterpret_cast<const char*>(s.compressed), produced))
                break;
            if (result == Z_STREAM_END)
            {
                finished = true;
                break;
            }
            if (produced == 0)
                break; // no progress: never spin
        }
    }
    // Later writes start a new stream, even after a failure.
    if (s.deflaterReady)
        deflateReset(&s.deflater);
    return finished;
}

bool CGZipCompressor::flush()
{
    const bool finished = !isOutput() || finishStream();
    return CChannelCompressor::flush() && finished;
}

std::int32_t CGZipCompressor::read(char* buffer, std::int32_t length)
{
    CStreams& s = *m_streams;
    if (!buffer || length <= 0 || !isInput() || !getChannel() || !s.inflaterReady)
        return 0;
    std::int32_t handed = 0;
    while (handed < length)
    {
        if (s.plainPosition < s.plainFill)
        {
            const std::int32_t piece = std::min(length - handed, s.plainFill - s.plainPosition);
            std::memcpy(buffer + handed, s.plain + s.plainPosition, static_cast<std::size_t>(piece));
            s.plainPosition += piece;
            handed += piece;
            continue;
        }
        if (s.damaged)
            break;
        if (s.inflater.avail_in == 0)
        {
            const std::int32_t got = getChannel()->read(reinterpret_cast<char*>(s.input), BUFFER_SIZE);
            if (got <= 0)
                break;
            s.inflater.next_in = s.input;
            s.inflater.avail_in = static_cast<uInt>(got);
        }
        const uInt inputBefore = s.inflater.avail_in;
        s.inflater.next_out = s.plain;
        s.inflater.avail_out = BUFFER_SIZE;
        const int result = inflate(&s.inflater, Z_NO_FLUSH);
        s.plainPosition = 0;
        s.plainFill = static_cast<std::int32_t>(BUFFER_SIZE - s.inflater.avail_out);
        if (result == Z_STREAM_END)
        {
            // Another stream may follow; inflateReset keeps the unread input.
            inflateReset(&s.inflater);
        }
        else if (result != Z_OK && result != Z_BUF_ERROR)
        {
            // Z_NEED_DICT, Z_DATA_ERROR, Z_STREAM_ERROR, Z_MEM_ERROR: the data end here.
            s.damaged = true;
            s.plainFill = 0;
        }
        else if (s.plainFill == 0 && s.inflater.avail_in == inputBefore)
        {
            break; // no progress possible: never spin
        }
    }
    return handed;
}

} // namespace kvo::mod
