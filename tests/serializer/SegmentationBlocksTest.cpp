// The blocks of the region volume, the colouring and plain volumes: round trips of random
// contents (margins, few and many labels, long names), refusal of other sizes, and every
// single damaged byte either refused or harmless.

#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "toolkit/img/CVolume.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CMemoryChannel.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using kvo::mod::CBinarySerializer;
using kvo::mod::CChannel;
using kvo::mod::CMemoryChannel;
using kvo::mod::Serializer::CReadFailed;
using tBytes = std::vector<char>;

namespace {

template <class T>
tBytes serialized(T& object)
{
    CMemoryChannel channel(CChannel::CH_OUT);
    {
        CBinarySerializer serializer(&channel, 0);
        object.serialize(serializer);
        EXPECT_TRUE(serializer.writeTerminalHeader());
    }
    return channel.getBytes();
}

// Reads the object's block; true when the terminal header follows it (the block was
// consumed whole).
template <class T>
bool deserialize(T& object, const tBytes& bytes)
{
    CMemoryChannel channel(CChannel::CH_IN, bytes);
    CBinarySerializer serializer(&channel, 0);
    object.deserialize(serializer);
    return serializer.skipToTerminal();
}

// Labels in runs of random length: `labels` distinct values, runs up to `longest`.
void fillRuns(kvo::img::CVolume<std::uint16_t>& volume, std::mt19937& random, int labels, int longest)
{
    int left = 0;
    std::uint16_t value = 0;
    for (int z = 0; z < volume.getZSize(); ++z)
        for (int y = 0; y < volume.getYSize(); ++y)
            for (int x = 0; x < volume.getXSize(); ++x)
            {
                if (left-- <= 0)
                {
                    left = int(random() % unsigned(longest));
                    value = std::uint16_t(random() % unsigned(labels));
                }
                volume.at(x, y, z) = value;
            }
}

bool sameLabels(const kvo::img::CVolume<std::uint16_t>& a, const kvo::img::CVolume<std::uint16_t>& b)
{
    for (int z = 0; z < a.getZSize(); ++z)
        for (int y = 0; y < a.getYSize(); ++y)
            for (int x = 0; x < a.getXSize(); ++x)
                if (a.at(x, y, z) != b.at(x, y, z))
                    return false;
    return true;
}

bool sameTable(const data::CRegionColoring& a, const data::CRegionColoring& b)
{
    if (a.getCount() != b.getCount() || a.getActive() != b.getActive() || a.getRandomState() != b.getRandomState())
        return false;
    for (int i = 0; i < a.getCount(); ++i)
        if (!(a.getColor(i) == b.getColor(i)) || a.getName(i) != b.getName(i) || a.isVisible(i) != b.isVisible(i))
            return false;
    return true;
}

} // namespace

TEST(RegionDataBlockTest, RoundTripsAndRefusesOtherSizes)
{
    std::mt19937 random(11);
    struct CCase
    {
        int x, y, z, margin, labels, longest;
    };
    for (const CCase& c : std::vector<CCase>{{1, 1, 1, 0, 2, 2},
                                             {17, 9, 5, 0, 3, 300},
                                             {64, 3, 4, 2, 65535, 2},
                                             {33, 31, 7, 1, 20, 1000},
                                             {300, 2, 2, 0, 2, 5000},
                                             {0, 4, 3, 0, 2, 2}})
    {
        SCOPED_TRACE(::testing::Message() << c.x << "x" << c.y << "x" << c.z << " margin " << c.margin);
        data::CRegionData source(c.x, c.y, c.z, c.margin);
        fillRuns(source, random, c.labels, c.longest);
        source.show(c.labels % 2 == 0);
        const tBytes bytes = serialized(source);

        data::CRegionData back(c.x, c.y, c.z, c.margin == 0 ? 1 : 0);
        back.fillEntire(77);
        EXPECT_TRUE(deserialize(back, bytes));
        EXPECT_TRUE(sameLabels(source, back));
        EXPECT_EQ(back.isShown(), source.isShown());
        if (back.getMargin() > 0 && c.x > 0)
        {
            EXPECT_EQ(back.at(-1, 0, 0), 77); // the margin is not part of the stream
        }

        data::CRegionData other(c.x + 1, c.y, c.z);
        EXPECT_THROW(deserialize(other, bytes), CReadFailed);
    }
}

TEST(RegionDataBlockTest, EveryDamagedByteIsRefusedOrHarmless)
{
    std::mt19937 random(5);
    data::CRegionData source(23, 11, 6);
    fillRuns(source, random, 4, 40);
    const tBytes bytes = serialized(source);
    std::size_t harmless = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        tBytes damaged = bytes;
        damaged[i] = char(damaged[i] ^ (1 << (i % 8)));
        data::CRegionData back(23, 11, 6);
        try
        {
            deserialize(back, damaged);
            // Only bytes that carry nothing (the zero tails of the headers) may change.
            EXPECT_TRUE(sameLabels(source, back)) << "byte " << i;
            ++harmless;
        }
        catch (const kvo::base::CException&) // a damaged method names no compressor
        {
        }
    }
    // Only the unused tails of the two headers and the zlib trailer (never needed: the
    // block's own check covers its data) may change without a refusal.
    EXPECT_LE(harmless, 2u * 256 + 8);
}

TEST(RegionColoringBlockTest, RoundTripsCheckedWholeBeforeAnyChange)
{
    data::CRegionColoring source;
    source.resize(300, true);
    source.setName(3, "Liver");
    source.setName(299, std::string(5000, 'n'));
    source.setName(4, "");
    source.setVisible(7, false);
    source.setColor(8, {1, 2, 3, 4});
    source.setActive(250);
    const tBytes bytes = serialized(source);

    data::CRegionColoring back;
    EXPECT_TRUE(deserialize(back, bytes));
    EXPECT_TRUE(sameTable(source, back));
    // The generator goes on where the saved table's left off.
    data::CRegionColoring next = back;
    EXPECT_EQ(next.makeRandomColor(), source.makeRandomColor());

    // Every single damaged byte: refused with the table unchanged, or a table equal to the
    // saved one.
    const data::CRegionColoring fresh;
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        tBytes damaged = bytes;
        damaged[i] = char(damaged[i] ^ 0x20);
        data::CRegionColoring table;
        try
        {
            deserialize(table, damaged);
            EXPECT_TRUE(sameTable(table, back)) << "byte " << i;
        }
        catch (const kvo::base::CException&)
        {
            EXPECT_TRUE(sameTable(table, fresh)) << "byte " << i;
        }
    }

    data::CRegionColoring tooLong;
    tooLong.setName(1, std::string(data::CRegionColoring::MAX_NAME_BYTES + 1, 'x'));
    EXPECT_THROW(serialized(tooLong), kvo::mod::Serializer::CWriteFailed);
}

TEST(VolumeBlockTest, PlainVolumesRoundTripTheirInterior)
{
    kvo::img::CVolume<std::int16_t> source(19, 7, 3, 2);
    std::mt19937 random(3);
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 19; ++x)
                source.at(x, y, z) = std::int16_t(random());
    const tBytes bytes = serialized(source);
    kvo::img::CVolume<std::int16_t> back(19, 7, 3);
    EXPECT_TRUE(deserialize(back, bytes));
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 19; ++x)
                ASSERT_EQ(back.at(x, y, z), source.at(x, y, z));
    kvo::img::CVolume<std::uint8_t> otherType(19, 7, 3);
    EXPECT_THROW(deserialize(otherType, bytes), CReadFailed);
    kvo::img::CVolume<std::int16_t> otherSize(19, 7, 4);
    EXPECT_THROW(deserialize(otherSize, bytes), CReadFailed);
}
