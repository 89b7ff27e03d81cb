#include "CTempFolder.h"
#include "ImportChecks.h"

#include "host/import/CDensityRange.h"
#include "host/import/CDicomSeriesReader.h"
#include "host/import/CImportError.h"

#include <gdcmDataElement.h>
#include <gdcmFile.h>
#include <gdcmTransferSyntax.h>
#include <gdcmWriter.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using velmora::import::CDensityRange;
using velmora::import::CDicomSeriesReader;
using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::test::CTempFolder;
using velmora::import::test::hasWarning;
using velmora::import::test::sharedData;

namespace {

const char* const SHARED_SERIES = "ct-abdomen-dicom-j2k";

// One small uncompressed CT image; pixels are stored as given.
struct CTestSlice
{
    std::string seriesUid = "1.2.3.4";
    int instance = 1;
    std::array<double, 3> position = {0, 0, 0};
    std::array<double, 6> orientation = {1, 0, 0, 0, 1, 0};
    int columns = 3;
    int rows = 2;
    std::string pixelSpacing = "0.7\\0.6";
    int bitsStored = 16;
    bool isSigned = false;
    std::string slope = "1";
    std::string intercept = "-1024";
    std::vector<std::uint16_t> pixels;
};

std::string joined(const double* values, int count)
{
    std::ostringstream text;
    for (int i = 0; i < count; ++i)
        text << (i ? "\\" : "") << values[i];
    return text.str();
}

void writeDicom(const std::string& path, const CTestSlice& slice)
{
    gdcm::Writer writer;
    gdcm::DataSet& data = writer.GetFile().GetDataSet();
    auto putText = [&](std::uint16_t group, std::uint16_t element, gdcm::VR vr, std::string value) {
        if (value.size() % 2)
            value += (vr == gdcm::VR::UI) ? '\0' : ' ';
        gdcm::DataElement entry(gdcm::Tag(group, element));
        entry.SetVR(vr);
        entry.SetByteValue(value.data(), static_cast<std::uint32_t>(value.size()));
        data.Replace(entry);
    };
    auto putShort = [&](std::uint16_t group, std::uint16_t element, std::uint16_t value) {
        gdcm::DataElement entry(gdcm::Tag(group, element));
        entry.SetVR(gdcm::VR::US);
        entry.SetByteValue(reinterpret_cast<const char*>(&value), 2);
        data.Replace(entry);
    };
    putText(0x0008, 0x0016, gdcm::VR::UI, "1.2.840.10008.5.1.4.1.1.2");
    putText(0x0008, 0x0018, gdcm::VR::UI, slice.seriesUid + "." + std::to_string(slice.instance));
    putText(0x0008, 0x0060, gdcm::VR::CS, "CT");
    putText(0x0020, 0x000e, gdcm::VR::UI, slice.seriesUid);
    putText(0x0020, 0x0013, gdcm::VR::IS, std::to_string(slice.instance));
    putText(0x0020, 0x0032, gdcm::VR::DS, joined(slice.position.data(), 3));
    putText(0x0020, 0x0037, gdcm::VR::DS, joined(slice.orientation.data(), 6));
    putShort(0x0028, 0x0002, 1);
    putText(0x0028, 0x0004, gdcm::VR::CS, "MONOCHROME2");
    putShort(0x0028, 0x0010, static_cast<std::uint16_t>(slice.rows));
    putShort(0x0028, 0x0011, static_cast<std::uint16_t>(slice.columns));
    putText(0x0028, 0x0030, gdcm::VR::DS, slice.pixelSpacing);
    putShort(0x0028, 0x0100, 16);
    putShort(0x0028, 0x0101, static_cast<std::uint16_t>(slice.bitsStored));
    putShort(0x0028, 0x0102, static_cast<std::uint16_t>(slice.bitsStored - 1));
    putShort(0x0028, 0x0103, slice.isSigned ? 1 : 0);
    putText(0x0028, 0x1052, gdcm::VR::DS, slice.intercept);
    putText(0x0028, 0x1053, gdcm::VR::DS, slice.slope);
    gdcm::DataElement pixels(gdcm::Tag(0x7fe0, 0x0010));
    pixels.SetVR(gdcm::VR::OW);
    pixels.SetByteValue(reinterpret_cast<const char*>(slice.pixels.data()),
                        static_cast<std::uint32_t>(slice.pixels.size() * 2));
    data.Replace(pixels);
    writer.GetFile().GetHeader().SetDataSetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    writer.SetFileName(path.c_str());
    ASSERT_TRUE(writer.Write()) << path;
}

std::string errorOf(const std::string& source) { return velmora::import::test::errorOf(CDicomSeriesReader(), source); }

} // namespace

TEST(DicomSeriesReader, SharedJpeg2000SeriesMatchesItsReference)
{
    const std::string folder = sharedData(SHARED_SERIES);
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "Shared test data not found at " << folder;
    const CLoadedVolume volume = CDicomSeriesReader().read(folder);
    EXPECT_EQ(volume.xSize, 512);
    EXPECT_EQ(volume.ySize, 512);
    EXPECT_EQ(volume.zSize, 20);
    EXPECT_DOUBLE_EQ(volume.dx, 0.9765625);
    EXPECT_DOUBLE_EQ(volume.dy, 0.9765625);
    EXPECT_DOUBLE_EQ(volume.dz, 2.0);
    EXPECT_TRUE(volume.warnings.empty()) << volume.warnings.front();
    const CDensityRange range = CDensityRange::of(volume.voxels);
    EXPECT_EQ(range.min, -1024);
    EXPECT_EQ(range.max, 1839);
    std::size_t above = 0, middle = 0, below = 0;
    for (std::int16_t v : volume.voxels) {
        above += v > 300;
        middle += v >= -500 && v <= 300;
        below += v < -500;
    }
    EXPECT_EQ(above, 78928u);
    EXPECT_EQ(middle, 1754637u);
    EXPECT_EQ(below, 3409315u);
}

TEST(DicomSeriesReader, SharedSeriesLoadsTheSameWhateverTheFileNames)
{
    const std::string source = sharedData(SHARED_SERIES);
    if (!std::filesystem::is_directory(source))
        GTEST_SKIP() << "Shared test data not found at " << source;
    const CTempFolder folder;
    // Names in an order unrelated to the slice positions, plus things to skip.
    int index = 0;
    for (const auto& entry : std::filesystem::directory_iterator(source)) {
        if (entry.path().filename() == "LICENSE")
            continue;
        const std::string name = std::to_string((index++ * 7) % 20 + 10);
        std::filesystem::copy_file(entry.path(), folder.file(name));
    }
    folder.write("notes.txt", {'n', 'o', 't', ' ', 'D', 'I', 'C', 'O', 'M'});
    std::filesystem::create_directory(folder.file("subfolder"));

    const CLoadedVolume original = CDicomSeriesReader().read(source);
    const CLoadedVolume renamed = CDicomSeriesReader().read(folder.path());
    EXPECT_EQ(renamed.zSize, 20);
    EXPECT_TRUE(renamed.voxels == original.voxels);
}

TEST(DicomSeriesReader, SlicesFollowTheirPositionAlongTheNormal)
{
    const CTempFolder folder;
    // An oblique orientation: rows along (0.6, 0.8, 0), columns along z; the normal is
    // (0.8, -0.6, 0). Slices 2.5 mm from each other, written in scrambled file order.
    const int order[4] = {2, 0, 3, 1};
    for (int file = 0; file < 4; ++file) {
        const int k = order[file];
        CTestSlice slice;
        slice.instance = 10 - k; // instance numbers run against the positions
        slice.orientation = {0.6, 0.8, 0, 0, 0, 1};
        slice.position = {5 + 0.8 * 2.5 * k, -3 - 0.6 * 2.5 * k, 7};
        for (int i = 0; i < 6; ++i)
            slice.pixels.push_back(static_cast<std::uint16_t>(1024 + 100 * k + i));
        writeDicom(folder.file("img" + std::to_string(file)), slice);
    }
    // A smaller second series and a file that is not DICOM at all.
    for (int k = 0; k < 2; ++k) {
        CTestSlice other;
        other.seriesUid = "1.2.3.9";
        other.instance = k;
        other.position = {0, 0, double(k)};
        other.pixels.assign(6, 0);
        writeDicom(folder.file("other" + std::to_string(k)), other);
    }
    folder.write("LICENSE", std::vector<std::uint8_t>(2000, 'x'));

    const CLoadedVolume volume = CDicomSeriesReader().read(folder.path());
    ASSERT_EQ(volume.xSize, 3);
    ASSERT_EQ(volume.ySize, 2);
    ASSERT_EQ(volume.zSize, 4);
    EXPECT_DOUBLE_EQ(volume.dx, 0.6);
    EXPECT_DOUBLE_EQ(volume.dy, 0.7);
    EXPECT_NEAR(volume.dz, 2.5, 1e-9);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(volume.at(x, y, z), 100 * z + y * 3 + x) << x << " " << y << " " << z;
    ASSERT_EQ(volume.warnings.size(), 1u);
    EXPECT_TRUE(hasWarning(volume, "holds 2 DICOM series; the one with 4 images was loaded"));
}

TEST(DicomSeriesReader, RescaleStoredBitsAndClamping)
{
    const CTempFolder folder;
    // Signed 12-bit values in 16-bit words with junk in the unused top bits.
    CTestSlice slice;
    slice.bitsStored = 12;
    slice.isSigned = true;
    slice.slope = "2.5";
    slice.intercept = "0.25";
    slice.pixels = {0x0001, 0x0fff, 0x0800, 0x07ff, 0xf00a, 0x0000}; // 1, -1, -2048, 2047, 10, 0
    writeDicom(folder.file("a"), slice);
    CTestSlice next = slice;
    next.instance = 2;
    next.position = {0, 0, 1.5};
    next.slope = "20";
    next.intercept = "0";
    next.pixels = {0x07ff, 0x0800, 0x0003, 0, 0, 0}; // 2047, -2048, 3 -> clamped, clamped, 60
    writeDicom(folder.file("b"), next);

    const CLoadedVolume volume = CDicomSeriesReader().read(folder.path());
    ASSERT_EQ(volume.zSize, 2);
    EXPECT_DOUBLE_EQ(volume.dz, 1.5);
    // 2.5 v + 0.25, rounded half away from zero: 2.75 -> 3, -2.25 -> -2, ...
    EXPECT_EQ(volume.voxels, (std::vector<std::int16_t>{3, -2, -5120, 5118, 25, 0, 32767, -32768, 60, 0, 0, 0}));
    EXPECT_TRUE(hasWarning(volume, "2 values outside -32768..32767 were clamped"));
}

TEST(DicomSeriesReader, BadFoldersAndSeriesGiveClearErrors)
{
    const CTempFolder empty;
    EXPECT_EQ(errorOf(empty.path()), "No DICOM images found in " + empty.path() + ": the folder holds no files");
    EXPECT_NE(errorOf(empty.file("nowhere")).find("does not exist or is not a folder"), std::string::npos);

    const CTempFolder noDicom;
    noDicom.write("LICENSE", std::vector<std::uint8_t>(5000, 'a'));
    noDicom.write("short", {'D', 'I', 'C', 'M'});
    noDicom.write("zeros", std::vector<std::uint8_t>(132, 0));
    EXPECT_EQ(errorOf(noDicom.path()), "No DICOM images found in " + noDicom.path());

    const CTempFolder mixedSizes;
    CTestSlice small;
    small.pixels.assign(6, 0);
    writeDicom(mixedSizes.file("a"), small);
    CTestSlice large;
    large.instance = 2;
    large.position = {0, 0, 1};
    large.columns = 4;
    large.pixels.assign(8, 0);
    writeDicom(mixedSizes.file("b"), large);
    EXPECT_NE(errorOf(mixedSizes.path()).find("has slices of different sizes (3 x 2 and 4 x 2)"), std::string::npos)
        << errorOf(mixedSizes.path());

    const CTempFolder tilted;
    CTestSlice straight;
    straight.pixels.assign(6, 0);
    writeDicom(tilted.file("a"), straight);
    CTestSlice turned = straight;
    turned.instance = 2;
    turned.orientation = {0, 1, 0, 0, 0, 1};
    writeDicom(tilted.file("b"), turned);
    EXPECT_NE(errorOf(tilted.path()).find("different orientations"), std::string::npos) << errorOf(tilted.path());

    // Pixel data shorter than Rows x Columns say.
    const CTempFolder shortPixels;
    CTestSlice clipped;
    clipped.pixels.assign(4, 0);
    writeDicom(shortPixels.file("a"), clipped);
    EXPECT_NE(errorOf(shortPixels.path()).find("has less pixel data than its image size needs"), std::string::npos)
        << errorOf(shortPixels.path());
}

TEST(DicomSeriesReader, DuplicatePositionsAreDroppedWithAWarning)
{
    const CTempFolder folder;
    for (int k = 0; k < 3; ++k) {
        CTestSlice slice;
        slice.instance = k;
        slice.position = {0, 0, k == 2 ? 1.0 : double(k)};
        slice.pixels.assign(6, static_cast<std::uint16_t>(1024 + k));
        writeDicom(folder.file("s" + std::to_string(k)), slice);
    }
    const CLoadedVolume volume = CDicomSeriesReader().read(folder.path());
    ASSERT_EQ(volume.zSize, 2);
    EXPECT_DOUBLE_EQ(volume.dz, 1.0);
    EXPECT_EQ(volume.at(0, 0, 1), 1); // the first file at the position wins
    EXPECT_TRUE(hasWarning(volume, "1 images at positions already taken"));
}
