// The run-length code: the documented examples byte for byte, the fast encoder against a
// literal value-by-value transcription of the coding rules, and the decoder's limits.

#include "data/CRunLengthCode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using data::CRunLengthCode;

namespace {

struct CStreams
{
    std::vector<std::uint16_t> values;
    std::vector<std::uint8_t> controls;
};

// The coding rules applied one value at a time, as written.
CStreams referenceEncode(const std::vector<std::uint16_t>& input)
{
    CStreams out;
    std::uint16_t last = 0;
    int length = 0;
    bool repeat = false;
    bool first = true;
    for (std::uint16_t v : input)
    {
        if (first)
        {
            out.values.push_back(v);
            out.controls.push_back(1);
            last = v;
            length = 1;
            repeat = false;
            first = false;
        }
        else if (v != last)
        {
            if (length < 127 && !repeat)
            {
                ++out.controls.back();
                ++length;
                out.values.push_back(v);
            }
            else
            {
                out.values.push_back(v);
                out.controls.push_back(1);
                length = 1;
                repeat = false;
            }
            last = v;
        }
        else if (length < 127)
        {
            if (repeat)
            {
                ++length;
                ++out.controls.back();
            }
            else if (length == 1)
            {
                out.controls.back() = std::uint8_t((out.controls.back() + 1) | 128);
                length = 2;
                repeat = true;
            }
            else
            {
                --out.controls.back();
                out.controls.push_back(130);
                length = 2;
                repeat = true;
            }
        }
        else
        {
            out.values.push_back(v);
            out.controls.push_back(1);
            length = 1;
            repeat = false;
        }
    }
    return out;
}

CRunLengthCode encode(const std::vector<std::uint16_t>& input, std::size_t span = 0)
{
    CRunLengthCode code;
    EXPECT_TRUE(code.begin(std::int64_t(input.size() / 8)));
    if (span == 0)
        span = input.size();
    for (std::size_t i = 0; i < input.size(); i += span)
        code.encode(input.data() + i, std::min(span, input.size() - i));
    code.finish();
    return code;
}

std::vector<std::uint16_t> decodeAll(const CRunLengthCode& code, std::size_t count)
{
    std::vector<std::uint16_t> out(count, 0xBEEF);
    CRunLengthCode::CDecoder decoder(code);
    out.resize(decoder.decode(out.data(), count));
    return out;
}

// Runs of random lengths (mostly short, some past 127) over a few labels, with noise.
std::vector<std::uint16_t> segmentationLike(std::mt19937& random, std::size_t count)
{
    std::vector<std::uint16_t> values;
    std::uniform_int_distribution<int> label(0, 4), shortRun(1, 6), longRun(100, 400), kind(0, 9);
    while (values.size() < count)
    {
        const int k = kind(random);
        const int length = k < 6 ? shortRun(random) : k < 9 ? longRun(random) : 127;
        const std::uint16_t value = std::uint16_t(k == 5 ? 65535 : label(random));
        values.insert(values.end(), std::size_t(length), value);
    }
    values.resize(count);
    return values;
}

} // namespace

TEST(RunLengthCode, DocumentedExamples)
{
    const CRunLengthCode a = encode({5, 5, 5, 7});
    EXPECT_EQ(a.getControls(), (std::vector<std::uint8_t>{0x83, 1}));
    EXPECT_EQ(a.getValues(), (std::vector<std::uint16_t>{5, 7}));

    const CRunLengthCode b = encode({1, 2, 2});
    EXPECT_EQ(b.getControls(), (std::vector<std::uint8_t>{1, 0x82}));
    EXPECT_EQ(b.getValues(), (std::vector<std::uint16_t>{1, 2}));

    const CRunLengthCode c = encode(std::vector<std::uint16_t>(300, 9));
    EXPECT_EQ(c.getControls(), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xAE}));
    EXPECT_EQ(c.getValues(), (std::vector<std::uint16_t>{9, 9, 9}));
    EXPECT_EQ(c.getDataSize(), 3u * 2 + 3);
    EXPECT_EQ(c.getEncodedCount(), 300u);
}

TEST(RunLengthCode, LiteralRunsStopAt127)
{
    std::vector<std::uint16_t> input(300);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = std::uint16_t(i);
    const CRunLengthCode code = encode(input);
    EXPECT_EQ(code.getControls(), (std::vector<std::uint8_t>{127, 127, 46}));
    EXPECT_EQ(code.getValues(), input);

    // A literal run of 127 followed by a repeat of its last value: the run is full, so the
    // repeat starts as a new literal of one and turns into a repeat of two.
    input.resize(127);
    input.push_back(126);
    input.push_back(126);
    const CRunLengthCode full = encode(input);
    EXPECT_EQ(full.getControls(), (std::vector<std::uint8_t>{127, 0x82}));
}

TEST(RunLengthCode, FastEncoderMatchesTheRulesValueByValue)
{
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round)
    {
        const std::vector<std::uint16_t> input = segmentationLike(random, 1 + random() % 5000);
        const CStreams expected = referenceEncode(input);
        // Whole, and in spans that cut runs anywhere (rows of a volume).
        for (std::size_t span : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(64), std::size_t(301)})
        {
            const CRunLengthCode code = encode(input, span);
            ASSERT_EQ(code.getControls(), expected.controls) << "round " << round << " span " << span;
            ASSERT_EQ(code.getValues(), expected.values) << "round " << round << " span " << span;
            ASSERT_EQ(decodeAll(code, input.size() + 10), input);
        }
    }
}

TEST(RunLengthCode, HintsAndFailure)
{
    CRunLengthCode code;
    EXPECT_TRUE(code.begin(0));
    EXPECT_GE(code.getValues().capacity(), std::size_t(CRunLengthCode::DEFAULT_HINT / 2 + 1));
    code.encode(4);
    code.finish();
    EXPECT_EQ(code.getValues().capacity(), 1u);

    // A negative hint leaves the code empty, and it stays empty.
    EXPECT_FALSE(code.begin(-1));
    code.encode(4);
    code.finish();
    EXPECT_EQ(code.getDataSize(), 0u);
    EXPECT_TRUE(decodeAll(code, 4).empty());
}

TEST(RunLengthCode, DecoderStopsWhereTheCodeOrTheOutputEnds)
{
    const CRunLengthCode code = encode({1, 2, 3, 3, 3, 3, 4});
    CRunLengthCode::CDecoder decoder(code);
    std::uint16_t out[3];
    EXPECT_EQ(decoder.decode(out, 3), 3u); // ends inside the repeat run
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(decoder.decode(out, 3), 3u);
    EXPECT_EQ(out[2], 3);
    EXPECT_FALSE(decoder.atEnd());
    EXPECT_EQ(decoder.decode(out, 3), 1u); // only the last value is left
    EXPECT_EQ(out[0], 4);
    EXPECT_TRUE(decoder.atEnd());
    EXPECT_EQ(decoder.decode(out, 3), 0u);

    CRunLengthCode empty;
    CRunLengthCode::CDecoder nothing(empty);
    EXPECT_EQ(nothing.decode(out, 3), 0u);
}
