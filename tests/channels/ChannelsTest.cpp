#include "toolkit/mod/CBlockChannel.h"
#include "toolkit/mod/CFileChannel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using kvo::mod::CBlockChannel;
using kvo::mod::CChannel;
using kvo::mod::CFileChannel;

namespace {

//! A channel over a byte vector, for checking exactly what lands in the wrapped channel.
class CMemoryChannel : public CChannel
{
public:
    explicit CMemoryChannel(std::int32_t mode, std::vector<unsigned char> bytes = {})
        : CChannel(mode, CH_TYPE_PIPE), m_bytes(std::move(bytes)) {}

    bool waitForConnection(unsigned) override { return true; }
    bool connect(unsigned) override { return true; }
    void disconnect() override {}
    bool isConnected() override { return isOutput() || m_read < m_bytes.size(); }
    bool waitForData(unsigned timeout) override
    {
        lastTimeout = timeout;
        return m_read < m_bytes.size();
    }
    std::int32_t read(char* buffer, std::int32_t length) override
    {
        std::int32_t n = 0;
        while (n < length && m_read < m_bytes.size())
            buffer[n++] = static_cast<char>(m_bytes[m_read++]);
        return n;
    }
    bool write(const char* data, std::int32_t length) override
    {
        if (failWrites)
            return false;
        m_bytes.insert(m_bytes.end(), data, data + length);
        return true;
    }
    bool flush() override
    {
        ++flushes;
        return true;
    }

    const std::vector<unsigned char>& bytes() const { return m_bytes; }
    std::size_t readPosition() const { return m_read; }

    bool failWrites = false;
    int flushes = 0;
    unsigned lastTimeout = 0;

private:
    std::vector<unsigned char> m_bytes;
    std::size_t m_read = 0;
};

std::vector<unsigned char> header(std::uint32_t length)
{
    return {0x53, 0x5A, 0x00, 0x00, static_cast<unsigned char>(length & 0xFF),
            static_cast<unsigned char>((length >> 8) & 0xFF), static_cast<unsigned char>((length >> 16) & 0xFF),
            static_cast<unsigned char>(length >> 24)};
}

std::vector<unsigned char> concat(std::initializer_list<std::vector<unsigned char>> parts)
{
    std::vector<unsigned char> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<unsigned char> sequence(std::size_t n, unsigned char start = 0)
{
    std::vector<unsigned char> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<unsigned char>(start + i * 7);
    return bytes;
}

std::vector<unsigned char> writeBlock(const std::vector<unsigned char>& data, std::int32_t blockSize)
{
    CMemoryChannel out(CChannel::CH_OUT);
    {
        CBlockChannel block(blockSize, &out);
        const char none = 0; // a vector without elements may have no data pointer
        const char* bytes = data.empty() ? &none : reinterpret_cast<const char*>(data.data());
        EXPECT_TRUE(block.write(bytes, static_cast<std::int32_t>(data.size())));
        EXPECT_TRUE(block.flush());
        EXPECT_TRUE(block.flush()); // finishing twice does nothing more
    }
    return out.bytes();
}

TEST(BlockChannel, WrittenLayout)
{
    // Ten bytes: one short sub-block.
    const auto ten = sequence(10);
    EXPECT_EQ(writeBlock(ten, 64), concat({header(10), ten}));
    // Exactly one block size: a full sub-block and then an empty one.
    const auto full = sequence(64);
    EXPECT_EQ(writeBlock(full, 64), concat({header(64), full, header(0)}));
    // Nothing: one empty sub-block.
    EXPECT_EQ(writeBlock({}, 64), header(0));
    // 150 bytes with block size 64: two full sub-blocks and 22 bytes.
    const auto more = sequence(150);
    EXPECT_EQ(writeBlock(more, 64),
              concat({header(64), std::vector<unsigned char>(more.begin(), more.begin() + 64), header(64),
                      std::vector<unsigned char>(more.begin() + 64, more.begin() + 128), header(22),
                      std::vector<unsigned char>(more.begin() + 128, more.end())}));
    // A block size under 64 is raised to 64.
    CMemoryChannel out(CChannel::CH_OUT);
    CBlockChannel small(10, &out);
    EXPECT_EQ(small.getBlockSize(), 64);
    EXPECT_EQ(small.getMode(), CChannel::CH_OUT);
    EXPECT_EQ(small.getType(), CChannel::CH_TYPE_PIPE);
}

TEST(BlockChannel, DestructorEndsTheBlockAndWritesRefuseAfterwards)
{
    CMemoryChannel out(CChannel::CH_OUT);
    {
        CBlockChannel block(64, &out);
        EXPECT_FALSE(block.write(nullptr, 3));
        EXPECT_FALSE(block.write("abc", -1));
        EXPECT_TRUE(block.write("abc", 3));
    }
    EXPECT_EQ(out.bytes(), concat({header(3), {'a', 'b', 'c'}}));
    EXPECT_EQ(out.flushes, 1);

    CMemoryChannel second(CChannel::CH_OUT);
    CBlockChannel block(64, &second);
    block.flush();
    EXPECT_FALSE(block.write("x", 1)); // the block has ended: nothing may be lost silently
}

TEST(BlockChannel, FailedWriteIsReported)
{
    CMemoryChannel out(CChannel::CH_OUT);
    CBlockChannel block(64, &out);
    const auto data = sequence(100);
    out.failWrites = true;
    EXPECT_FALSE(block.write(reinterpret_cast<const char*>(data.data()), 100));
    EXPECT_FALSE(block.flush());
}

TEST(BlockChannel, RoundTripInRandomPieces)
{
    std::mt19937 random(11);
    for (int size : {0, 1, 63, 64, 65, 127, 128, 129, 1000, 4096})
    {
        for (std::int32_t blockSize : {64, 100, 256})
        {
            const auto data = sequence(static_cast<std::size_t>(size), static_cast<unsigned char>(size));
            auto stream = writeBlock(data, blockSize);
            stream.push_back(0xEE); // what follows the block must stay unread
            CMemoryChannel in(CChannel::CH_IN, stream);
            CBlockChannel block(blockSize, &in);
            std::vector<char> got;
            char piece[300];
            for (;;)
            {
                const std::int32_t want = std::uniform_int_distribution<int>(1, 300)(random);
                const std::int32_t n = block.read(piece, want);
                got.insert(got.end(), piece, piece + n);
                if (n < want)
                    break;
            }
            ASSERT_EQ(got.size(), data.size()) << size << " " << blockSize;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), reinterpret_cast<const char*>(data.data())));
            EXPECT_EQ(block.read(piece, 10), 0);
            EXPECT_TRUE(block.flush());
            EXPECT_EQ(in.readPosition(), stream.size() - 1);
        }
    }
}

TEST(BlockChannel, ReadingAFullBlockThenNothing)
{
    const auto full = sequence(64);
    CMemoryChannel in(CChannel::CH_IN, concat({header(64), full, header(0)}));
    CBlockChannel block(64, &in);
    char buffer[100];
    EXPECT_EQ(block.read(buffer, 100), 64);
    EXPECT_EQ(block.read(buffer, 100), 0);
    EXPECT_TRUE(block.isEndOfBlock());
    EXPECT_EQ(block.read(nullptr, 5), 0);
}

TEST(BlockChannel, FinishingSkipsUnreadSubBlocks)
{
    const auto data = sequence(200);
    auto stream = concat({writeBlock(data, 64), {0x77}});
    // Unread at all.
    {
        CMemoryChannel in(CChannel::CH_IN, stream);
        {
            CBlockChannel block(64, &in);
        }
        EXPECT_EQ(in.readPosition(), stream.size() - 1);
    }
    // Read partly: 70 bytes end in the middle of the second sub-block.
    {
        CMemoryChannel in(CChannel::CH_IN, stream);
        CBlockChannel block(64, &in);
        char buffer[70];
        EXPECT_EQ(block.read(buffer, 70), 70);
        EXPECT_TRUE(block.flush());
        EXPECT_EQ(in.readPosition(), stream.size() - 1);
    }
}

TEST(BlockChannel, DamagedHeadersEndReadingQuietly)
{
    const auto data = sequence(100);
    auto stream = writeBlock(data, 64);
    // Wrong marker of the second sub-block: the first 64 bytes come, then a short read.
    auto badMarker = stream;
    badMarker[72] = 0x00;
    {
        CMemoryChannel in(CChannel::CH_IN, badMarker);
        CBlockChannel block(64, &in);
        char buffer[200];
        EXPECT_EQ(block.read(buffer, 200), 64);
        EXPECT_EQ(block.read(buffer, 200), 0);
        EXPECT_FALSE(block.flush());
    }
    // A length above the block size.
    auto badLength = stream;
    badLength[4] = 65;
    {
        CMemoryChannel in(CChannel::CH_IN, badLength);
        CBlockChannel block(64, &in);
        char buffer[200];
        EXPECT_EQ(block.read(buffer, 200), 0);
    }
    // Truncated data.
    auto truncated = stream;
    truncated.resize(truncated.size() - 5);
    {
        CMemoryChannel in(CChannel::CH_IN, truncated);
        CBlockChannel block(64, &in);
        char buffer[200];
        EXPECT_EQ(block.read(buffer, 200), 64);
    }
    {
        CMemoryChannel in(CChannel::CH_IN, truncated);
        CBlockChannel block(64, &in);
        EXPECT_FALSE(block.flush());
    }
}

TEST(BlockChannel, ForwardsAndHoldsTheWrappedChannel)
{
    CBlockChannel orphan(64, nullptr);
    EXPECT_FALSE(orphan.isConnected());
    EXPECT_FALSE(orphan.connect());
    EXPECT_FALSE(orphan.waitForConnection());
    EXPECT_EQ(orphan.getMode(), 0);

    auto* in = new CMemoryChannel(CChannel::CH_IN, header(0));
    {
        kvo::base::CRefPtr<CChannel> holder(in);
        auto* block = new CBlockChannel(64, in);
        block->addReference();
        EXPECT_EQ(in->getReferencesCount(), 2);
        EXPECT_TRUE(block->waitForData(5));
        EXPECT_EQ(in->lastTimeout, 1000u);
        block->release(); // deletes the block, which drops its reference
        EXPECT_EQ(in->getReferencesCount(), 1);
    }
}

TEST(Channel, SkipReadsOrWritesInPieces)
{
    CMemoryChannel in(CChannel::CH_IN, sequence(200));
    EXPECT_TRUE(in.skip(0));
    EXPECT_TRUE(in.skip(-5));
    EXPECT_TRUE(in.skip(150));
    EXPECT_EQ(in.readPosition(), 150u);
    EXPECT_FALSE(in.skip(100)); // only 50 left
    CMemoryChannel out(CChannel::CH_OUT);
    EXPECT_TRUE(out.skip(130));
    EXPECT_EQ(out.bytes(), std::vector<unsigned char>(130, 0));
    CMemoryChannel both(CChannel::CH_IN | CChannel::CH_OUT);
    EXPECT_FALSE(both.skip(1));
}

class FileChannel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = (std::filesystem::temp_directory_path() /
                  ("velmora_channel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                     .string();
    }
    void TearDown() override { std::filesystem::remove(m_path); }
    std::string m_path;
};

TEST_F(FileChannel, WriteThenRead)
{
    {
        CFileChannel out(CChannel::CH_OUT, m_path);
        EXPECT_EQ(out.getType(), CChannel::CH_TYPE_FILE);
        EXPECT_TRUE(out.isConnected());
        EXPECT_FALSE(out.waitForData());
        EXPECT_TRUE(out.write("hello", 5));
        EXPECT_TRUE(out.write("", 0));
        EXPECT_FALSE(out.write(nullptr, 1));
        EXPECT_TRUE(out.skip(3));
        char buffer[4];
        EXPECT_EQ(out.read(buffer, 4), 0); // not an input channel
        EXPECT_TRUE(out.flush());
    } // the destructor closes the file
    EXPECT_EQ(std::filesystem::file_size(m_path), 8u);

    CFileChannel in(CChannel::CH_IN, m_path);
    EXPECT_TRUE(in.isConnected());
    EXPECT_TRUE(in.waitForData());
    EXPECT_FALSE(in.write("x", 1));
    char buffer[16] = {};
    EXPECT_EQ(in.read(buffer, 16), 8);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(buffer[7], 0);
    EXPECT_FALSE(in.isConnected()); // at the end now
    EXPECT_FALSE(in.waitForData());
    in.disconnect();
    EXPECT_EQ(in.read(buffer, 16), 0);
    EXPECT_FALSE(in.flush());
}

TEST_F(FileChannel, MissingFileAndBadMode)
{
    CFileChannel in(CChannel::CH_IN, m_path + "_missing/none");
    EXPECT_FALSE(in.isConnected());
    EXPECT_FALSE(in.connect());
    char buffer[4];
    EXPECT_EQ(in.read(buffer, 4), 0);
    CFileChannel out(CChannel::CH_OUT, m_path + "_missing/none");
    EXPECT_FALSE(out.isConnected());
    EXPECT_FALSE(out.write("a", 1));
    EXPECT_FALSE(out.flush());

    try
    {
        CFileChannel both(CChannel::CH_IN | CChannel::CH_OUT, m_path);
        FAIL() << "mode 3 must not open";
    }
    catch (const CChannel::CCannotCreate& failure)
    {
        EXPECT_STREQ(failure.what(), "Failed to create a new channel");
    }
}

TEST_F(FileChannel, BlocksThroughAFile)
{
    const auto data = sequence(300);
    {
        CFileChannel out(CChannel::CH_OUT, m_path);
        CBlockChannel first(64, &out);
        EXPECT_TRUE(first.write(reinterpret_cast<const char*>(data.data()), 300));
        EXPECT_TRUE(first.flush());
        CBlockChannel second(64, &out);
        EXPECT_TRUE(second.write("tail", 4));
    }
    CFileChannel in(CChannel::CH_IN, m_path);
    {
        CBlockChannel skipped(64, &in); // finished at once: skipped whole
    }
    CBlockChannel second(64, &in);
    char buffer[10];
    EXPECT_EQ(second.read(buffer, 10), 4);
    EXPECT_EQ(std::string(buffer, 4), "tail");
}

} // namespace
