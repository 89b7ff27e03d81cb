#include "CTempFolder.h"
#include "ImportChecks.h"

#include "host/import/CImportError.h"
#include "host/import/CRawVolumeReader.h"

#include <gtest/gtest.h>

#include <limits>

#include <cstdint>
#include <vector>

using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::CRawVolumeReader;
using velmora::import::test::CTempFolder;
using velmora::import::test::errorOf;
using velmora::import::test::voxelsOf;

namespace {

std::vector<std::uint8_t> littleEndian(const std::vector<std::int16_t>& values)
{
    std::vector<std::uint8_t> bytes;
    for (std::int16_t v : values) {
        const auto bits = static_cast<std::uint16_t>(v);
        bytes.push_back(static_cast<std::uint8_t>(bits & 0xff));
        bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    return bytes;
}

} // namespace

TEST(RawVolumeReader, SmallVolumeRoundTripsExactly)
{
    const CTempFolder folder;
    std::vector<std::int16_t> values;
    for (int i = 0; i < 5 * 4 * 3; ++i)
        values.push_back(static_cast<std::int16_t>(i * 1000 - 30000));
    values[7] = -32768;
    values[8] = 32767;
    values[9] = -1;
    const std::string path = folder.write("small.raw", littleEndian(values));

    const CLoadedVolume volume = CRawVolumeReader(5, 4, 3, 0.5, 0.75, 2.0).read(path);
    EXPECT_EQ(volume.xSize, 5);
    EXPECT_EQ(volume.ySize, 4);
    EXPECT_EQ(volume.zSize, 3);
    EXPECT_EQ(volume.dx, 0.5);
    EXPECT_EQ(volume.dy, 0.75);
    EXPECT_EQ(volume.dz, 2.0);
    EXPECT_EQ(voxelsOf(volume), values);
    EXPECT_EQ(volume.at(2, 1, 0), values[7]); // x fastest
    EXPECT_EQ(volume.at(0, 0, 1), values[20]);
    EXPECT_TRUE(volume.warnings.empty());
}

TEST(RawVolumeReader, FileOfWrongSizeIsRefusedWithBothSizes)
{
    const CTempFolder folder;
    const std::string truncated = folder.write("truncated.raw", std::vector<std::uint8_t>(64 * 64 * 10 * 2 - 1));
    EXPECT_EQ(errorOf(CRawVolumeReader(64, 64, 10), truncated),
              "Raw file " + truncated + " has 81919 bytes, expected 81920 for 64 x 64 x 10 voxels of 16 bits");

    const std::string longer = folder.write("longer.raw", std::vector<std::uint8_t>(64 * 64 * 10 * 2 + 2));
    EXPECT_EQ(errorOf(CRawVolumeReader(64, 64, 10), longer),
              "Raw file " + longer + " has 81922 bytes, expected 81920 for 64 x 64 x 10 voxels of 16 bits");

    const std::string empty = folder.write("empty.raw", {});
    EXPECT_NE(errorOf(CRawVolumeReader(1, 1, 1), empty).find("has 0 bytes, expected 2"), std::string::npos);

    EXPECT_NE(errorOf(CRawVolumeReader(2, 2, 2), folder.file("missing.raw")).find("does not exist"), std::string::npos);
    EXPECT_NE(errorOf(CRawVolumeReader(2, 2, 2), folder.path()).find("is not a file"), std::string::npos);
}

TEST(RawVolumeReader, InvalidDimensionsOrSpacingAreRefusedBeforeReading)
{
    const CTempFolder folder;
    const std::string path = folder.write("any.raw", std::vector<std::uint8_t>(16));
    EXPECT_NE(errorOf(CRawVolumeReader(0, 2, 4), path).find("not a valid volume size"), std::string::npos);
    EXPECT_NE(errorOf(CRawVolumeReader(-2, -2, 2), path).find("not a valid volume size"), std::string::npos);
    // 65536^3 voxels would overflow 32 bits many times over.
    EXPECT_NE(errorOf(CRawVolumeReader(65536, 65536, 65536), path).find("too large"), std::string::npos);
    // Spacings must be finite and from 0.001 to 1000 mm (a model of 1e300 mm voxels would be
    // written with infinite coordinates).
    for (double bad : {-1.0, 0.0, 9.9e-4, 1000.5, 1e300, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()})
        EXPECT_NE(errorOf(CRawVolumeReader(2, 2, 2, 1.0, bad, 1.0), path).find("from 0.001 to 1000 mm"), std::string::npos)
            << bad;
    for (double good : {1e-3, 0.5, 1e3})
        EXPECT_NO_THROW(CRawVolumeReader(2, 2, 2, good, good, good).read(path)) << good;
}
