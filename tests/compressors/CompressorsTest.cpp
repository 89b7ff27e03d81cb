#include "toolkit/mod/CBlockChannel.h"
#include "toolkit/mod/CCompressorFactory.h"
#include "toolkit/mod/CDensityCompressor.h"
#include "toolkit/mod/CDensityPredictor.h"
#include "toolkit/mod/CGZipCompressor.h"
#include "toolkit/mod/CMemoryChannel.h"
#include "toolkit/mod/CRLE16Compressor.h"
#include "toolkit/mod/CRLE8Compressor.h"
#include "toolkit/mod/CRawCompressor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <typeinfo>
#include <vector>

using namespace kvo::mod;
using Bytes = std::vector<char>;

namespace {

constexpr int METHODS[] = {0, 1, 2, 3, 8}; // raw, RLE8, RLE16, zlib, density

Bytes bytes(std::initializer_list<int> values) { return Bytes(values.begin(), values.end()); }

Bytes repeated(int count, int value) { return Bytes(static_cast<std::size_t>(count), static_cast<char>(value)); }

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

CChannelCompressorPtr make(int method) { return CCompressorFactory::getInstance().create(method); }

bool evenOnly(int method) { return method == 2 || method == 8; }

//! Encodes each piece with one write call straight into memory.
Bytes encode(int method, const std::vector<Bytes>& pieces)
{
    CMemoryChannel out(CChannel::CH_OUT);
    CChannelCompressorPtr compressor = make(method);
    compressor->setChannel(&out);
    for (const Bytes& piece : pieces)
        EXPECT_TRUE(compressor->write(piece.empty() ? "" : piece.data(), static_cast<std::int32_t>(piece.size())));
    EXPECT_TRUE(compressor->flush());
    compressor.reset();
    return out.getBytes();
}

//! Runs of random length from a small alphabet mixed with noise, as label and density
//! volumes look; values of `width` bytes.
Bytes sampleData(std::mt19937& random, std::size_t size, int width)
{
    Bytes out;
    while (out.size() < size)
    {
        const int values = std::uniform_int_distribution<int>(1, random() % 4 == 0 ? 400 : 6)(random);
        const bool run = random() % 2 == 0;
        Bytes value(static_cast<std::size_t>(width));
        for (int i = 0; i < values; ++i)
        {
            if (i == 0 || !run)
                for (char& b : value)
                    b = static_cast<char>(random() % 3 == 0 ? random() : random() % 4);
            out.insert(out.end(), value.begin(), value.end());
        }
    }
    out.resize(size);
    return out;
}

//! Random piece lengths summing to total (even ones when asked), zero lengths included.
std::vector<std::int32_t> pieceLengths(std::mt19937& random, std::size_t total, bool even)
{
    std::vector<std::int32_t> lengths;
    std::size_t sum = 0;
    while (sum < total)
    {
        auto length = static_cast<std::int32_t>(std::min<std::size_t>(total - sum, random() % 9000));
        if (even)
            length &= ~1;
        lengths.push_back(length);
        sum += static_cast<std::size_t>(length);
    }
    return lengths;
}

//! The packet state machine taken one value at a time, straight from the format's definition.
Bytes referenceEncode(const Bytes& in, std::size_t width)
{
    enum { START, ONE, RUN, LITERAL } state = START;
    const auto same = [&](std::size_t a, std::size_t b) { return std::memcmp(&in[a * width], &in[b * width], width) == 0; };
    Bytes out;
    std::size_t first = 0;
    int count = 0;
    const auto emit = [&] {
        out.push_back(static_cast<char>(state == RUN ? 128 + count : count));
        const std::size_t values = state == RUN ? 1 : static_cast<std::size_t>(count);
        out.insert(out.end(), in.begin() + static_cast<long>(first * width), in.begin() + static_cast<long>((first + values) * width));
    };
    for (std::size_t i = 0; i < in.size() / width; ++i)
    {
        if (state == START || (state == RUN && !(same(i, first) && count < 127)) ||
            (state == LITERAL && !(!same(i, i - 1) && count <= 126)))
        {
            if (state != START)
                emit();
            first = i;
            count = 1;
            state = ONE;
        }
        else if (state == ONE)
        {
            state = same(i, first) ? RUN : LITERAL;
            count = 2;
        }
        else
            ++count;
    }
    if (state != START)
        emit();
    return out;
}

//! A memory channel of type "pipe" that counts flushes and keeps the last wait time-out.
class CProbeChannel : public CMemoryChannel
{
public:
    explicit CProbeChannel(std::int32_t mode) : CMemoryChannel(mode) { setType(CH_TYPE_PIPE); }
    bool flush() override { return ++flushes > 0; }
    bool waitForData(unsigned timeout) override { return (lastTimeout = timeout) != 0; }
    int flushes = 0;
    unsigned lastTimeout = 0;
};

} // namespace

TEST(RunLengthCode, PacketsAreByteExact)
{
    Bytes distinct;
    for (int i = 0; i < 200; ++i)
        distinct.push_back(static_cast<char>(i));
    const struct
    {
        int method;
        std::vector<Bytes> writes;
        Bytes encoded;
    } cases[] = {
        {1, {bytes({0x41, 0x41, 0x41, 0x42})}, bytes({0x83, 0x41, 0x01, 0x42})},
        {1, {bytes({0x41, 0x42, 0x42, 0x42})}, bytes({0x02, 0x41, 0x42, 0x82, 0x42})},
        {1, {repeated(127, 7)}, bytes({0xFF, 7})},
        {1, {repeated(128, 7)}, bytes({0xFF, 7, 0x01, 7})},
        {1, {distinct}, bytes({127}) + Bytes(distinct.begin(), distinct.begin() + 127) + bytes({73}) +
                            Bytes(distinct.begin() + 127, distinct.end())},
        {1, {bytes({5}), {}, bytes({5})}, bytes({1, 5, 1, 5})}, // no packet spans two calls
        {2, {bytes({1, 0, 1, 0, 1, 0, 2, 0})}, bytes({0x83, 1, 0, 0x01, 2, 0})},
        {2, {bytes({1, 0, 2, 0, 2, 0, 2, 0})}, bytes({0x02, 1, 0, 2, 0, 0x82, 2, 0})},
        {2, {bytes({1, 2, 2, 1})}, bytes({0x02, 1, 2, 2, 1})},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(encode(c.method, c.writes), c.encoded);
        Bytes all;
        for (const Bytes& w : c.writes)
            all = all + w;
        CMemoryChannel in(CChannel::CH_IN, c.encoded);
        CChannelCompressorPtr decoder = make(c.method);
        decoder->setChannel(&in);
        Bytes decoded(all.size() + 2);
        EXPECT_EQ(decoder->read(decoded.data(), static_cast<std::int32_t>(decoded.size())), static_cast<std::int32_t>(all.size()));
        decoded.resize(all.size());
        EXPECT_EQ(decoded, all);
    }
}

TEST(RunLengthCode, EncodersMatchTheReferenceStateMachine)
{
    std::mt19937 random(7);
    for (int round = 0; round < 80; ++round)
    {
        const int width = 1 + round % 2;
        const Bytes data = sampleData(random, random() % 3000 * 2, width);
        EXPECT_EQ(encode(width, {data}), referenceEncode(data, static_cast<std::size_t>(width))) << round;
    }
}

TEST(RunLengthCode, ReadsSplitPacketsAndRefuseOddValueLengths)
{
    CMemoryChannel in(CChannel::CH_IN, bytes({0x8A, 0x41, 0x03, 1, 2, 3}));
    CRLE8Compressor rle8(&in);
    char out[16];
    const struct { std::int32_t length; Bytes expected; } reads[] = {
        {3, repeated(3, 0x41)}, {5, repeated(5, 0x41)}, {4, bytes({0x41, 0x41, 1, 2})}, {10, bytes({3})}, {10, {}}};
    for (const auto& r : reads)
        EXPECT_EQ(Bytes(out, out + rle8.read(out, r.length)), r.expected);

    CMemoryChannel sink(CChannel::CH_OUT);
    CRLE16Compressor rle16(&sink);
    EXPECT_FALSE(rle16.write("abc", 3));
    EXPECT_FALSE(rle16.write("ab", -2));
    EXPECT_TRUE(sink.getBytes().empty());
    CMemoryChannel source(CChannel::CH_IN, bytes({0x83, 1, 0}));
    CRLE16Compressor reader(&source);
    EXPECT_EQ(reader.read(out, 3), 0);
    EXPECT_EQ(reader.read(out, 4), 4);
    EXPECT_EQ(reader.read(out, 4), 2);
}

TEST(DensityPredictor, DeltasInBytePlanes)
{
    const std::int16_t samples[] = {1000, 1000, 1000};
    CMemoryChannel out(CChannel::CH_OUT);
    CDensityPredictor writer(&out);
    EXPECT_TRUE(writer.write(reinterpret_cast<const char*>(samples), 6));
    EXPECT_FALSE(writer.write(reinterpret_cast<const char*>(samples), 5));
    EXPECT_EQ(out.getBytes(), bytes({0x25, 0x21, 0x21, 0x1C, 0x34, 0x34}));

    // Extremes wrap around in 16-bit arithmetic and come back unchanged.
    const std::int16_t extremes[] = {-32768, 32767, 0, -1, 1, -32768};
    EXPECT_TRUE(writer.write(reinterpret_cast<const char*>(extremes), sizeof extremes));
    CMemoryChannel in(CChannel::CH_IN, out.getBytes());
    CDensityPredictor reader(&in);
    std::int16_t back[6] = {};
    EXPECT_EQ(reader.read(reinterpret_cast<char*>(back), 5), 0);
    EXPECT_EQ(reader.read(reinterpret_cast<char*>(back), 6), 6);
    EXPECT_EQ(std::vector<std::int16_t>(back, back + 3), std::vector<std::int16_t>(samples, samples + 3));
    EXPECT_EQ(reader.read(reinterpret_cast<char*>(back), 12), 12);
    EXPECT_EQ(std::vector<std::int16_t>(back, back + 6), std::vector<std::int16_t>(extremes, extremes + 6));
    EXPECT_EQ(reader.read(reinterpret_cast<char*>(back), 2), 0);
}

TEST(CompressorFactory, MakesEveryMethodAndRefusesUnknownOnes)
{
    const struct { int method; const std::type_info& type; } rows[] = {
        {0, typeid(CRawCompressor)}, {1, typeid(CRLE8Compressor)}, {2, typeid(CRLE16Compressor)},
        {3, typeid(CGZipCompressor)}, {8, typeid(CDensityCompressor)}};
    for (const auto& row : rows)
    {
        CChannelCompressor* made = CCompressorFactory::getInstance().create(row.method);
        EXPECT_TRUE(typeid(*made) == row.type);
        EXPECT_EQ(made->getMethod(), row.method);
        EXPECT_EQ(made->getReferencesCount(), 0);
        EXPECT_EQ(made->getChannel(), nullptr);
        CChannelCompressorPtr holder(made);
    }
    CChannelCompressorPtr gzip = make(3);
    EXPECT_EQ(static_cast<CGZipCompressor*>(gzip.get())->getLevel(), 6);
    for (int unknown : {-1, 4, 5, 7, 9})
        EXPECT_THROW(make(unknown), kvo::base::Factory::CCannotCreate) << unknown;
    try { make(6); } catch (const std::exception& failure) { EXPECT_STREQ(failure.what(), "Failed to create a new object"); }
}

TEST(Compressors, WrapChannelsAndFlushThemAtTheEnd)
{
    for (int method : METHODS)
    {
        CProbeChannel output(CChannel::CH_OUT), input(CChannel::CH_IN);
        CChannelCompressorPtr compressor = make(method);
        char buffer[4] = {};
        EXPECT_EQ(compressor->getMode(), CChannel::CH_COMPRESSOR);
        EXPECT_FALSE(compressor->isConnected());
        EXPECT_FALSE(compressor->flush());
        EXPECT_FALSE(compressor->write(buffer, 4));

        compressor->setChannel(&output);
        EXPECT_EQ(compressor->getMode(), CChannel::CH_OUT | CChannel::CH_COMPRESSOR);
        EXPECT_EQ(compressor->getType(), CChannel::CH_TYPE_PIPE);
        EXPECT_EQ(compressor->read(buffer, 4), 0);
        EXPECT_TRUE(compressor->waitForData(5));
        EXPECT_EQ(output.lastTimeout, 1000u);

        compressor->setChannel(&input);
        EXPECT_EQ(output.getReferencesCount(), 1);
        EXPECT_EQ(compressor->getMode(), CChannel::CH_IN | CChannel::CH_COMPRESSOR);
        EXPECT_FALSE(compressor->write(buffer, 4));
        compressor.reset();
        EXPECT_GE(input.flushes, 1) << method;
        EXPECT_EQ(input.getReferencesCount(), 1);
    }
    CProbeChannel input(CChannel::CH_IN);
    CDensityPredictor predictor;
    predictor.setChannel(&input);
    EXPECT_EQ(predictor.getMode(), CChannel::CH_IN | CChannel::CH_PREDICTOR);
    EXPECT_EQ(predictor.getType(), CChannel::CH_TYPE_PIPE);
    EXPECT_TRUE(predictor.waitForData(5));
    EXPECT_EQ(input.lastTimeout, 5u);
}

// Every method, as the serializer uses it: compressor -> block channel -> stream, followed
// by another block that must stay intact however far the decoder read ahead.
TEST(Compressors, RoundTripThroughBlockChannels)
{
    std::mt19937 random(11);
    for (int method : METHODS)
    {
        for (int round = 0; round < 3; ++round)
        {
            const Bytes data = sampleData(random, 120000 + random() % 2000 * 2, evenOnly(method) ? 2 : 1);
            const auto writes = pieceLengths(random, data.size(), evenOnly(method));
            CMemoryChannel stream(CChannel::CH_OUT);
            {
                CChannelCompressorPtr compressor = make(method);
                compressor->setChannel(new CBlockChannel(4096, &stream));
                std::size_t at = 0;
                for (std::int32_t length : writes)
                {
                    ASSERT_TRUE(compressor->write(data.data() + at, length));
                    at += static_cast<std::size_t>(length);
                }
                ASSERT_TRUE(compressor->flush());
            }
            CBlockChannel(64, &stream).write("tail", 4);

            CMemoryChannel in(CChannel::CH_IN, stream.getBytes());
            CChannelCompressorPtr compressor = make(method);
            compressor->setChannel(new CBlockChannel(4096, &in));
            const auto reads = method == CChannelCompressor::METHOD_DENSITY ? writes : pieceLengths(random, data.size(), evenOnly(method));
            Bytes back(data.size());
            std::size_t at = 0;
            for (std::int32_t length : reads)
            {
                ASSERT_EQ(compressor->read(back.data() + at, length), length) << "method " << method;
                at += static_cast<std::size_t>(length);
            }
            EXPECT_EQ(back, data) << "method " << method;
            EXPECT_EQ(compressor->read(back.data(), 2), 0);
            EXPECT_TRUE(compressor->flush());
            char tail[8];
            EXPECT_EQ(Bytes(tail, tail + CBlockChannel(64, &in).read(tail, 8)), bytes({'t', 'a', 'i', 'l'}));
        }
    }
}

TEST(GZipCompressor, StreamsBackToBackReadAsOne)
{
    std::mt19937 random(5);
    const Bytes first = sampleData(random, 30000, 1), second = sampleData(random, 20000, 1);
    EXPECT_TRUE(encode(3, {}).empty()); // nothing written: no empty stream

    CMemoryChannel out(CChannel::CH_OUT);
    CGZipCompressor gzip(6, &out);
    EXPECT_TRUE(gzip.write(first.data(), 10000) && gzip.write(first.data() + 10000, 20000) && gzip.flush());
    const std::size_t firstSize = out.getBytes().size();
    EXPECT_TRUE(gzip.flush());
    EXPECT_EQ(out.getBytes().size(), firstSize);
    EXPECT_TRUE(gzip.write(second.data(), 20000) && gzip.flush());
    ASSERT_GT(out.getBytes().size(), firstSize + 2);
    EXPECT_EQ(Bytes(out.getBytes().begin() + static_cast<long>(firstSize), out.getBytes().begin() + static_cast<long>(firstSize) + 2),
              bytes({0x78, 0x9C}));

    CMemoryChannel stream(CChannel::CH_OUT);
    CBlockChannel(4096, &stream).write(out.getBytes().data(), static_cast<std::int32_t>(out.getBytes().size()));
    CMemoryChannel in(CChannel::CH_IN, stream.getBytes());
    CGZipCompressor reader(6, new CBlockChannel(4096, &in));
    Bytes back;
    for (std::int32_t length : pieceLengths(random, first.size() + second.size() + 1, false))
    {
        Bytes piece(static_cast<std::size_t>(length));
        piece.resize(static_cast<std::size_t>(reader.read(piece.data(), length)));
        back = back + piece;
    }
    EXPECT_EQ(back, first + second);
}

// Cut or damaged streams end with a short read whose bytes are a prefix of the data, and
// every read after it gives 0.
TEST(Compressors, TruncatedAndGarbageInputEndsShort)
{
    std::mt19937 random(3);
    const Bytes data = sampleData(random, 20000, 2);
    const std::int32_t request = static_cast<std::int32_t>(data.size()) + 64;
    for (int method : {1, 2, 3, 8})
    {
        const Bytes encoded = encode(method, {data});
        Bytes garbage(3000);
        for (char& b : garbage)
            b = static_cast<char>(random());
        const Bytes inputs[] = {Bytes(), Bytes(encoded.begin(), encoded.begin() + 1),
                                Bytes(encoded.begin(), encoded.begin() + 3),
                                Bytes(encoded.begin(), encoded.begin() + static_cast<long>(encoded.size() / 2)),
                                Bytes(encoded.begin(), encoded.end() - 1), garbage, bytes({0x78, 0x9C}) + garbage};
        for (const Bytes& input : inputs)
        {
            CMemoryChannel in(CChannel::CH_IN, input);
            CChannelCompressorPtr decoder = make(method);
            decoder->setChannel(&in);
            Bytes back(static_cast<std::size_t>(request));
            const std::int32_t got = decoder->read(back.data(), request);
            EXPECT_LT(got, request) << "method " << method << " input " << input.size();
            if (input.size() < encoded.size() && std::equal(input.begin(), input.end(), encoded.begin()))
            {
                EXPECT_LE(got, static_cast<std::int32_t>(data.size()));
                EXPECT_TRUE(std::equal(back.begin(), back.begin() + got, data.begin())) << "method " << method;
            }
            EXPECT_EQ(decoder->read(back.data(), request), 0);
        }
    }
}
