// The block stream and the serialization manager: headers and the manager's block byte for
// byte, entries left out, blocks found by name past unknown ones, every refusal of a bad
// stream, and progress that stops a save or a load.

#include "data/CDataStorage.h"
#include "data/CObjectHolder.h"
#include "data/CObjectPtr.h"
#include "data/CSerializationManager.h"
#include "data/CStorableFactory.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CMemoryChannel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using kvo::mod::CBinarySerializer;
using kvo::mod::CChannel;
using kvo::mod::CMemoryChannel;
using kvo::mod::Serializer::CReadFailed;
using kvo::mod::Serializer::CWriteFailed;
using tBytes = std::vector<char>;

namespace {

// A storable record: a block of its own (raw, block size 64) holding a count and values.
struct CRecord
{
    static constexpr const char* NAME = "Record";
    void serialize(CBinarySerializer& serializer)
    {
        serializer.beginWrite(NAME, 0, 64);
        serializer.writeInt32(std::int32_t(values.size()));
        serializer.writeArray(values.data(), values.size());
        serializer.endWrite();
    }
    void deserialize(CBinarySerializer& serializer)
    {
        serializer.beginRead(NAME);
        values.resize(std::size_t(serializer.readInt32()) % 1000);
        serializer.readArray(values.data(), values.size());
        serializer.endRead();
        ++reads;
    }
    void init() { ++inits; }
    bool hasData() const { return present; }

    std::vector<std::int32_t> values;
    bool present = true;
    int reads = 0;
    int inits = 0;
};

void putInt(tBytes& out, std::int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((std::uint32_t(value) >> (8 * i)) & 0xFF));
}

tBytes fileHeader(std::int32_t version = 51)
{
    tBytes bytes{'K', 'V', 'O', 0};
    putInt(bytes, version);
    bytes.resize(256, 0);
    return bytes;
}

tBytes blockHeader(const std::string& name, std::int32_t method, std::int32_t size)
{
    tBytes bytes(32, 0);
    std::memcpy(bytes.data(), name.data(), std::min<std::size_t>(name.size(), 32));
    putInt(bytes, method);
    putInt(bytes, size);
    bytes.resize(256, 0);
    return bytes;
}

// One block's data as sub-blocks of `size` bytes (raw method).
tBytes subBlocks(const tBytes& data, std::int32_t size)
{
    tBytes bytes;
    std::size_t at = 0;
    while (true)
    {
        const std::size_t piece = std::min<std::size_t>(size, data.size() - at);
        putInt(bytes, 23123);
        putInt(bytes, std::int32_t(piece));
        bytes.insert(bytes.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + piece));
        at += piece;
        if (piece < std::size_t(size))
            return bytes;
    }
}

tBytes ints(std::initializer_list<std::int32_t> values)
{
    tBytes bytes;
    for (const std::int32_t value : values)
        putInt(bytes, value);
    return bytes;
}

tBytes join(std::initializer_list<tBytes> parts)
{
    tBytes all;
    for (const tBytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

tBytes recordBlock(const std::vector<std::int32_t>& values)
{
    tBytes data = ints({std::int32_t(values.size())});
    for (const std::int32_t value : values)
        putInt(data, value);
    return join({blockHeader("Record", 0, 64), subBlocks(data, 64)});
}

class CManagerTest : public ::testing::Test
{
protected:
    CManagerTest()
    {
        for (const int id : {501, 502, 503})
            factory.registerObject<CRecord>(id);
        storage = new data::CDataStorage(&factory);
    }
    CRecord& record(int id) { return *data::CObjectPtr<CRecord>(storage->getEntry(id, 3)); }

    data::CStorableFactory factory;
    kvo::base::CRefPtr<data::CDataStorage> storage;
};

} // namespace

TEST(BinarySerializerTest, HeadersByteForByte)
{
    CMemoryChannel channel(CChannel::CH_OUT);
    CBinarySerializer serializer(&channel);
    ASSERT_TRUE(serializer.writeFileHeader());
    const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    // Headers alone: block size 0 has no data to skip.
    for (const std::string& name : {std::string("x"), name32, name32 + "cut"})
        ASSERT_TRUE(serializer.writeBlockHeader(name, 8, name == "x" ? 0 : 4096));
    ASSERT_TRUE(serializer.writeTerminalHeader());
    EXPECT_EQ(channel.getBytes(), join({fileHeader(), blockHeader("x", 8, 0), blockHeader(name32, 8, 4096),
                                        blockHeader(name32, 8, 4096), blockHeader("TerminalBlock", 0, 0)}));
    // 32 characters: no terminating zero, and still found by its full name.
    EXPECT_EQ(channel.getBytes()[256 + 256 + 31], '5');
    EXPECT_EQ(channel.getBytes()[256 + 256 + 32], 8);

    CMemoryChannel input(CChannel::CH_IN, channel.getBytes());
    CBinarySerializer reader(&input);
    EXPECT_TRUE(reader.checkFileHeader());
    std::int32_t method = 0, size = 0;
    ASSERT_TRUE(reader.findBlock(name32, method, size));
    EXPECT_EQ(input.getReadPosition(), 256u * 3);
    EXPECT_EQ(method, 8);
    EXPECT_EQ(size, 4096);
    // The reader now stands at the second 32-character header, whose block has no data.
    EXPECT_FALSE(reader.findBlock("missing", method, size));
}

TEST_F(CManagerTest, SaveWritesListedEntriesWithDataInOrder)
{
    record(501).values = {7, -1};
    record(502).values = {};
    record(503).present = false;
    std::vector<std::pair<int, int>> reports;
    data::CSerializationManager manager(*storage);
    manager.setProgressFunction([&](int done, int total) {
        reports.emplace_back(done, total);
        return true;
    });
    CMemoryChannel channel(CChannel::CH_OUT);
    CBinarySerializer serializer(&channel, 0);
    // 9 has no object, 503 no data, 4000 is no entry at all: all three are left out.
    ASSERT_TRUE(manager.save(serializer, {502, 9, 503, 501, 4000}));
    const tBytes managerBlock = join({blockHeader("SerializationManager", 0, 4096), ints({23123, 16, 60, 2, 502, 501})});
    EXPECT_EQ(channel.getBytes(), join({fileHeader(), managerBlock, recordBlock({}), recordBlock({7, -1}),
                                        blockHeader("TerminalBlock", 0, 0)}));
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
}

TEST_F(CManagerTest, LoadReadsEntriesInPlaceAndRefusesBadStreams)
{
    const tBytes manager2 = join({blockHeader("SerializationManager", 0, 4096), ints({23123, 16, 60, 2, 502, 501})});
    const tBytes good = join({fileHeader(), blockHeader("Unknown", 3, 100000), subBlocks(tBytes(100001, 'u'), 100000),
                              manager2, recordBlock({1, 2, 3}), blockHeader("Other", 0, 64), subBlocks(tBytes(70), 64),
                              recordBlock({4}), blockHeader("TerminalBlock", 0, 0)});
    struct CCase
    {
        const char* what;
        tBytes stream;
        bool loads;
        int recordsRead; // entries read before the failure
    };
    const std::vector<CCase> cases = {
        {"good, past unknown blocks", good, true, 2},
        {"empty stream", {}, false, 0},
        {"file version 50", join({fileHeader(50), tBytes(good.begin() + 256, good.end())}), false, 0},
        {"manager version 61",
         join({fileHeader(), blockHeader("SerializationManager", 0, 4096), ints({23123, 12, 61, 1, 501}),
               recordBlock({1}), blockHeader("TerminalBlock", 0, 0)}),
         false, 0},
        {"no terminal header", tBytes(good.begin(), good.end() - 256), false, 2},
        {"list longer than every entry",
         join({fileHeader(), blockHeader("SerializationManager", 0, 4096), ints({23123, 8, 60, 5000})}), false, 0},
        {"no manager block", join({fileHeader(), recordBlock({1}), blockHeader("TerminalBlock", 0, 0)}), false, 0},
        {"block size beyond the reader's limit",
         join({fileHeader(), blockHeader("Huge", 0, 1 << 30), manager2, recordBlock({1})}), false, 0},
        {"entry block missing", join({fileHeader(), manager2, recordBlock({1}), blockHeader("TerminalBlock", 0, 0)}),
         false, 1},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        record(501) = CRecord();
        record(502) = CRecord();
        CMemoryChannel channel(CChannel::CH_IN, c.stream);
        CBinarySerializer serializer(&channel, 0);
        data::CSerializationManager manager(*storage);
        std::vector<int> list;
        if (c.loads)
        {
            ASSERT_TRUE(manager.load(serializer, list));
            EXPECT_EQ(list, (std::vector<int>{502, 501}));
            EXPECT_EQ(record(502).values, (std::vector<std::int32_t>{1, 2, 3}));
            EXPECT_EQ(record(501).values, (std::vector<std::int32_t>{4}));
            EXPECT_EQ(record(501).inits, 1);
        }
        else
        {
            EXPECT_THROW(manager.load(serializer, list), CReadFailed);
        }
        // Nothing is rolled back: entries read before the failure keep what they read.
        EXPECT_EQ(record(501).reads + record(502).reads, c.recordsRead);
    }
}

TEST_F(CManagerTest, ProgressStopsSaveAndLoad)
{
    record(501).values = {1};
    record(502).values = {2};
    data::CSerializationManager manager(*storage);
    manager.setProgressFunction([](int done, int) { return done < 1; });
    CMemoryChannel output(CChannel::CH_OUT);
    {
        CBinarySerializer serializer(&output, 0);
        EXPECT_FALSE(manager.save(serializer, {501, 502}));
    }
    // Stopped after the first entry: no second entry, no terminal header.
    const tBytes managerBlock = join({blockHeader("SerializationManager", 0, 4096), ints({23123, 16, 60, 2, 501, 502})});
    EXPECT_EQ(output.getBytes(), join({fileHeader(), managerBlock, recordBlock({1})}));

    // A stopped load makes no terminal check.
    record(501) = CRecord();
    CMemoryChannel input(CChannel::CH_IN, output.getBytes());
    CBinarySerializer serializer(&input, 0);
    std::vector<int> list;
    EXPECT_FALSE(manager.load(serializer, list));
    EXPECT_EQ(record(501).values, (std::vector<std::int32_t>{1}));

    // A failing channel turns into the write failure.
    CMemoryChannel readOnly(CChannel::CH_IN);
    CBinarySerializer failing(&readOnly, 0);
    manager.setProgressFunction({});
    EXPECT_THROW(manager.save(failing, {501}), CWriteFailed);
}

TEST(BinarySerializerTest, NoBlockFramingWritesObjectsStraight)
{
    CMemoryChannel channel(CChannel::CH_OUT);
    CBinarySerializer serializer(&channel, CBinarySerializer::FLAG_NO_BLOCKS);
    CRecord record;
    record.values = {5};
    record.serialize(serializer);
    EXPECT_EQ(channel.getBytes(), ints({1, 5}));
    CMemoryChannel input(CChannel::CH_IN, channel.getBytes());
    CBinarySerializer reader(&input, CBinarySerializer::FLAG_NO_BLOCKS);
    CRecord back;
    back.deserialize(reader);
    EXPECT_EQ(back.values, record.values);
}
