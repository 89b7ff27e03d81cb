// Fuzz target of the decompressors: one block of a stream read through a block channel and
// the compressor of one method, with changing read lengths, until a read gives nothing.
//
// Input: byte 0 chooses the method (bits 0-2: 0, 1, 2, 3, 8, then 0, 1, 2 again), the
// block size (bits 3-4: 64, 100, 1000, 4096) and the cycle of read lengths (bits 5-7, see
// READ_LENGTHS); the rest is the block's sub-blocks as a block channel writes them.
//
// Beyond never crashing or hanging: a read gives 0 to the length asked for, the 16-bit
// methods (2, 8) whole values only; and the bytes read, written again with the same method
// in the same pieces, read back unchanged in those pieces and end there.

#include "toolkit/mod/CBlockChannel.h"
#include "toolkit/mod/CCompressorFactory.h"
#include "toolkit/mod/CMemoryChannel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using kvo::mod::CBlockChannel;
using kvo::mod::CChannel;
using kvo::mod::CChannelCompressorPtr;
using kvo::mod::CMemoryChannel;

constexpr std::int32_t METHODS[8] = {0, 1, 2, 3, 8, 0, 1, 2};
constexpr std::int32_t BLOCK_SIZES[4] = {64, 100, 1000, 4096};
const std::vector<std::int32_t> READ_LENGTHS[8] = {
    {2}, {1}, {64}, {4096}, {3, 2, 7, 100, 1}, {2, 10, 4, 1000, 6}, {65536}, {510, 4098, 2, 1}};
constexpr std::int32_t MAX_READ_LENGTH = 65536;
// Decoding stops here: a few bytes of run-length or zlib code stand for far more.
constexpr std::size_t MAX_OUTPUT = std::size_t(1) << 16;
// Written after the length asked for, to see that a read stays within it.
constexpr char GUARD = '\x5A';

void check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_decompressors: %s\n", what);
    std::abort();
}

CChannelCompressorPtr compressorOn(std::int32_t method, std::int32_t blockSize, CChannel& stream)
{
    CChannelCompressorPtr compressor(kvo::mod::CCompressorFactory::getInstance().create(method));
    compressor->setChannel(new CBlockChannel(blockSize, &stream));
    return compressor;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::int32_t method = METHODS[data[0] & 7];
    const std::int32_t blockSize = BLOCK_SIZES[(data[0] >> 3) & 3];
    const std::vector<std::int32_t>& lengths = READ_LENGTHS[data[0] >> 5];
    const bool wholeValues = method == 2 || method == 8;

    // Everything read, and the length of each read.
    std::vector<char> bytes;
    std::vector<std::int32_t> pieces;
    {
        CMemoryChannel stream(data + 1, size - 1);
        CChannelCompressorPtr decoder = compressorOn(method, blockSize, stream);
        std::vector<char> buffer(std::size_t(MAX_READ_LENGTH) + 1);
        for (std::size_t call = 0; bytes.size() < MAX_OUTPUT; ++call)
        {
            const std::int32_t length = lengths[call % lengths.size()];
            buffer[std::size_t(length)] = GUARD;
            const std::int32_t got = decoder->read(buffer.data(), length);
            check(got >= 0 && got <= length, "a read gave more than asked for");
            check(buffer[std::size_t(length)] == GUARD, "a read wrote past the length asked for");
            check(!wholeValues || got % 2 == 0, "a 16-bit method split a value");
            if (got == 0)
                break;
            bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
            pieces.push_back(got);
        }
        decoder->flush(); // skips the rest of the block; a damaged rest is no fault here
    }

    CMemoryChannel encoded(CChannel::CH_OUT);
    {
        CChannelCompressorPtr encoder = compressorOn(method, blockSize, encoded);
        std::size_t at = 0;
        for (const std::int32_t piece : pieces)
        {
            check(encoder->write(bytes.data() + at, piece), "decoded bytes could not be encoded");
            at += std::size_t(piece);
        }
        check(encoder->flush(), "the encoder could not end its block");
    }
    CMemoryChannel again(CChannel::CH_IN, encoded.getBytes());
    CChannelCompressorPtr decoder = compressorOn(method, blockSize, again);
    std::vector<char> back(bytes.size() + 2);
    std::size_t at = 0;
    for (const std::int32_t piece : pieces)
    {
        check(decoder->read(back.data() + at, piece) == piece, "encoded bytes read back short");
        at += std::size_t(piece);
    }
    check(decoder->read(back.data() + at, 2) == 0, "encoded bytes read back with more at the end");
    back.resize(bytes.size());
    check(back == bytes, "encoded bytes did not read back unchanged");
    return 0;
}
