#include "CTempFolder.h"
#include "ImportChecks.h"

#include "host/import/CDensityRange.h"
#include "host/import/CDicomSeriesReader.h"
#include "host/import/CImportError.h"

#include <gdcmDataElement.h>
#include <gdcmReader.h>
#include <gdcmFile.h>
#include <gdcmTransferSyntax.h>
#include <gdcmWriter.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sstream>

using velmora::import::CDensityRange;
using velmora::import::CDicomSeriesReader;
using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::test::CTempFolder;
using velmora::import::test::hasWarning;
using velmora::import::test::readBytes;
using velmora::import::test::sharedData;
using velmora::import::test::voxelsOf;

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
    int bitsAllocated = 16;
    bool isSigned = false;
    std::string slope = "1";
    std::string intercept = "-1024";
    std::vector<std::uint16_t> pixels;
    gdcm::TransferSyntax::TSType syntax = gdcm::TransferSyntax::ExplicitVRLittleEndian;
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
    putShort(0x0028, 0x0100, static_cast<std::uint16_t>(slice.bitsAllocated));
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
    writer.GetFile().GetHeader().SetDataSetTransferSyntax(slice.syntax);
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

    // In the patient: the first slice's position, its rows and columns, the slice order's
    // direction; every slice's first pixel lands on its own Image Position.
    const std::array<std::array<double, 3>, 3> axes{{{0.6, 0.8, 0}, {0, 0, 1}, {0.8, -0.6, 0}}};
    for (int axis = 0; axis < 3; ++axis)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(volume.geometry.axes[axis][c], axes[axis][c], 1e-12) << axis << " " << c;
    for (int k = 0; k < 4; ++k) {
        const std::array<double, 3> at = volume.geometry.toPatient({0, 0, double(k)}, {volume.dx, volume.dy, volume.dz});
        const std::array<double, 3> written{5 + 0.8 * 2.5 * k, -3 - 0.6 * 2.5 * k, 7};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(at[c], written[c], 1e-9) << "slice " << k << " coordinate " << c;
    }
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
    EXPECT_EQ(voxelsOf(volume), (std::vector<std::int16_t>{3, -2, -5120, 5118, 25, 0, 32767, -32768, 60, 0, 0, 0}));
    EXPECT_TRUE(hasWarning(volume, "2 values outside -32768..32767 were clamped"));
}

namespace {

// What a slice's stored bytes must load as: little-endian words of `bits` bits, of which
// the low `stored` bits count (sign-extended when signed), times the slope plus the
// intercept, rounded half away from zero and clamped to 16 bits.
std::vector<std::int16_t> referenceDensities(const std::vector<std::uint8_t>& bytes, int bits, int stored, bool isSigned,
                                             double slope, double intercept, std::uint64_t& clamped)
{
    std::vector<std::int16_t> densities;
    const std::size_t width = static_cast<std::size_t>(bits / 8);
    for (std::size_t at = 0; at + width <= bytes.size(); at += width) {
        std::uint64_t word = 0;
        for (std::size_t b = 0; b < width; ++b)
            word |= std::uint64_t(bytes[at + b]) << (8 * b);
        std::int64_t value = static_cast<std::int64_t>(word & ((std::uint64_t(1) << stored) - 1));
        if (isSigned && (value >> (stored - 1)) & 1)
            value -= std::int64_t(1) << stored;
        const double real = std::round(static_cast<double>(value) * slope + intercept);
        clamped += real < -32768.0 || real > 32767.0;
        densities.push_back(static_cast<std::int16_t>(std::clamp(real, -32768.0, 32767.0)));
    }
    return densities;
}

} // namespace

TEST(DicomSeriesReader, PixelFormatsAndDecoderSplitsMatchAReference)
{
    // Random stored bytes in the layouts the library decodes (it stops on fewer stored than
    // allocated bits in 8- and 32-bit words), in slices whose file names run against
    // their positions, in explicit and implicit little-endian files (whose pixels the host
    // reads itself) and in big-endian ones (which only the decoding processes read). Read
    // by the host or decoded by one, several or more processes than there are slices, the
    // volume equals the reference conversion and the clamped values are counted once.
    const struct
    {
        int bits, stored;
        bool isSigned;
        const char* slope;
        const char* intercept;
    } cases[] = {
        {16, 16, true, "1", "-1024"},  {16, 16, false, "1", "-1024"}, {16, 12, true, "1", "0"},
        {16, 12, false, "1", "-2048"}, {16, 16, true, "1", "30000"},  {16, 16, false, "1", "-40000"},
        {16, 10, true, "1", "5"},      {8, 8, false, "1", "-100"},    {8, 8, true, "1", "-3"},
        {32, 32, true, "1", "-1024"},  {32, 32, false, "1", "7"},
        {16, 16, true, "2", "-0.5"},   {16, 14, false, "0.5", "-1024.25"},
    };
    const struct
    {
        gdcm::TransferSyntax::TSType syntax;
        const char* name;
        bool readByHost;
    } syntaxes[] = {
        {gdcm::TransferSyntax::ExplicitVRLittleEndian, "explicit little endian", true},
        {gdcm::TransferSyntax::ImplicitVRLittleEndian, "implicit little endian", true},
        {gdcm::TransferSyntax::ExplicitVRBigEndian, "explicit big endian", false},
    };
    const int columns = 67, rows = 4, slices = 7; // 268 pixels: whole blocks of 64 and a rest
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    auto nextByte = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint8_t>(state >> 56);
    };
    for (const auto& format : syntaxes)
        for (const auto& test : cases) {
            // Big-endian files swap 16-bit words, which the test writes its pixels as.
            if (!format.readByHost && test.bits != 16)
                continue;
            SCOPED_TRACE(std::string(format.name) + ", " + std::to_string(test.bits) + " bits, " + std::to_string(test.stored)
                         + " stored, " + (test.isSigned ? "signed" : "unsigned") + ", slope " + test.slope
                         + ", intercept " + test.intercept);
            const CTempFolder folder;
            std::vector<std::int16_t> expected;
            std::uint64_t clamped = 0;
            for (int z = 0; z < slices; ++z) {
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(columns * rows * test.bits / 8));
                for (std::uint8_t& byte : bytes)
                    byte = nextByte();
                const std::vector<std::int16_t> densities
                    = referenceDensities(bytes, test.bits, test.stored, test.isSigned, std::stod(test.slope),
                                         std::stod(test.intercept), clamped);
                expected.insert(expected.end(), densities.begin(), densities.end());
                CTestSlice slice;
                slice.instance = z + 1;
                slice.position = {0, 0, 2.0 * z};
                slice.columns = columns;
                slice.rows = rows;
                slice.bitsAllocated = test.bits;
                slice.bitsStored = test.stored;
                slice.isSigned = test.isSigned;
                slice.slope = test.slope;
                slice.intercept = test.intercept;
                slice.syntax = format.syntax;
                slice.pixels.resize(bytes.size() / 2);
                std::memcpy(slice.pixels.data(), bytes.data(), bytes.size());
                const std::string file = folder.file("s" + std::to_string(slices - z));
                writeDicom(file, slice);
                // The host reads little-endian pixels where they lie, and finds them there.
                const std::optional<std::uint64_t> offset = velmora::import::locateUncompressedPixels(file);
                ASSERT_EQ(offset.has_value(), format.readByHost);
                if (offset) {
                    std::ifstream in(file, std::ios::binary);
                    in.seekg(static_cast<std::streamoff>(*offset));
                    std::vector<std::uint8_t> stored(bytes.size());
                    in.read(reinterpret_cast<char*>(stored.data()), static_cast<std::streamsize>(stored.size()));
                    ASSERT_TRUE(in && stored == bytes) << "pixels at offset " << *offset;
                }
            }
            // The decoding processes, in every split for one syntax; once for the others.
            std::vector<std::pair<int, bool>> readers{{0, true}, {2, false}};
            if (format.syntax == gdcm::TransferSyntax::ExplicitVRLittleEndian)
                readers.insert(readers.end(), {{1, false}, {3, false}, {7, false}, {16, false}});
            for (const auto& [decoders, inHost] : readers) {
                SCOPED_TRACE(inHost ? std::string("read by the host where it can")
                                    : std::to_string(decoders) + " decoding processes");
                const CLoadedVolume volume = CDicomSeriesReader(decoders, inHost).read(folder.path());
                ASSERT_EQ(volume.voxelCount(), expected.size());
                EXPECT_TRUE(voxelsOf(volume) == expected);
                const std::size_t clampWarnings
                    = hasWarning(volume, ": " + std::to_string(clamped) + " values outside -32768..32767 were clamped") ? 1 : 0;
                EXPECT_EQ(clampWarnings, clamped > 0 ? 1u : 0u);
                EXPECT_EQ(volume.warnings.size(), clampWarnings);
            }
        }
}

TEST(DicomSeriesReader, SeriesOfMixedSyntaxesIsDecodedWhole)
{
    // One big-endian slice among little-endian ones: the whole series goes to the decoding
    // processes, and loads as the same volume as when every slice is little-endian.
    const CTempFolder mixed, plain;
    std::vector<std::int16_t> expected;
    int clamped = 0;
    for (int z = 0; z < 5; ++z) {
        CTestSlice slice;
        slice.instance = z + 1;
        slice.position = {0, 0, 1.0 * z};
        slice.isSigned = true;
        slice.intercept = "-3";
        slice.pixels = {std::uint16_t(z), 7, std::uint16_t(0x8000 + z), 0xffff, 100, std::uint16_t(z * 1000)};
        for (std::uint16_t value : slice.pixels) {
            const int density = static_cast<std::int16_t>(value) - 3;
            clamped += density < -32768;
            expected.push_back(static_cast<std::int16_t>(std::max(-32768, density)));
        }
        writeDicom(plain.file("p" + std::to_string(z)), slice);
        slice.syntax = z == 3 ? gdcm::TransferSyntax::ExplicitVRBigEndian
                              : (z % 2 ? gdcm::TransferSyntax::ImplicitVRLittleEndian : gdcm::TransferSyntax::ExplicitVRLittleEndian);
        writeDicom(mixed.file("m" + std::to_string(z)), slice);
    }
    for (const CTempFolder* folder : {&plain, &mixed}) {
        const CLoadedVolume volume = CDicomSeriesReader().read(folder->path());
        EXPECT_TRUE(voxelsOf(volume) == expected);
        EXPECT_TRUE(hasWarning(volume, ": " + std::to_string(clamped) + " values outside -32768..32767 were clamped"));
    }
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

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Three 3 x 2 slices 1 mm apart whose pixels say their slice index.
void writeSmallSeries(const CTempFolder& folder)
{
    for (int z = 0; z < 3; ++z) {
        CTestSlice slice;
        slice.instance = z + 1;
        slice.position = {0, 0, double(z)};
        slice.pixels.assign(6, static_cast<std::uint16_t>(1024 + z));
        writeDicom(folder.file("slice" + std::to_string(z)), slice);
    }
}

} // namespace

TEST(DicomSeriesReader, DamagedFilesStopTheLibraryNeverTheHost)
{
    // Files cut inside their header make GDCM abort (assertions in its parser); each such
    // file is skipped with a warning naming it, and the rest of the folder loads.
    const std::string shared = sharedData(SHARED_SERIES);
    std::vector<std::string> sources;
    if (std::filesystem::is_directory(shared))
        for (const auto& entry : std::filesystem::directory_iterator(shared))
            if (entry.path().filename().string().rfind("CT", 0) == 0)
                sources.push_back(entry.path().string());
    std::sort(sources.begin(), sources.end());
    for (std::size_t cut : {132u, 200u, 300u, 350u}) {
        SCOPED_TRACE("cut to " + std::to_string(cut) + " bytes");
        const CTempFolder stray;
        writeSmallSeries(stray);
        const std::vector<std::uint8_t> first = readBytes(stray.file("slice0"));
        const std::string damaged = stray.write("zz-stray", {first.begin(), first.begin() + std::min(cut, first.size())});
        const CLoadedVolume small = CDicomSeriesReader().read(stray.path());
        EXPECT_EQ(small.zSize, 3);
        EXPECT_EQ(small.at(2, 1, 2), 2);
        if (sources.empty() || (cut != 132 && cut != 350))
            continue;
        // The shared JPEG 2000 series: a stray damaged copy, then one of its own slices cut.
        const CTempFolder folder;
        for (const std::string& source : sources)
            std::filesystem::copy_file(source, folder.file(std::filesystem::path(source).filename().string()));
        const std::vector<std::uint8_t> bytes = readBytes(sources[5]);
        const std::string strayFile = folder.write("zz-stray", {bytes.begin(), bytes.begin() + static_cast<long>(cut)});
        const CLoadedVolume whole = CDicomSeriesReader().read(folder.path());
        EXPECT_EQ(whole.zSize, 20);
        EXPECT_TRUE(hasWarning(whole, "DICOM file " + strayFile + " was skipped"));
        std::filesystem::remove(strayFile);
        const std::string cutSlice = folder.write(std::filesystem::path(sources[5]).filename().string(),
                                                  {bytes.begin(), bytes.begin() + static_cast<long>(cut)});
        const CLoadedVolume rest = CDicomSeriesReader().read(folder.path());
        EXPECT_EQ(rest.zSize, 19);
        EXPECT_TRUE(hasWarning(rest, "DICOM file " + cutSlice + " was skipped"));
    }
    if (sources.empty())
        GTEST_SKIP() << "Shared test data not found at " << shared << "; only the small series was checked";
}

TEST(DicomSeriesReader, PixelDataThatDoNotFitTheHeaderAreRefusedBeforeDecoding)
{
    // Each case: the error names the file and the reason, and nothing large was allocated
    // in this process (the decoding child's memory is its own).
    const long before = peakResidentKiB();
    const struct
    {
        int columns, rows, bitsAllocated, pixels;
        const char* expected;
    } cases[] = {
        {3, 2, 12, 6, "Bits Allocated 12"},
        {3, 2, 16, 5, "less pixel data than its image size needs"},
        {65535, 32768, 16, 6, "less pixel data than its image size needs"},
        {8192, 8192, 16, 6, "less pixel data than its image size needs"},
    };
    for (const auto& test : cases) {
        const CTempFolder folder;
        CTestSlice slice;
        slice.columns = test.columns;
        slice.rows = test.rows;
        slice.bitsAllocated = test.bitsAllocated;
        slice.pixels.assign(static_cast<std::size_t>(test.pixels), 7);
        writeDicom(folder.file("a"), slice);
        const std::string error = errorOf(folder.path());
        EXPECT_NE(error.find("DICOM file " + folder.file("a")), std::string::npos) << error;
        EXPECT_NE(error.find(test.expected), std::string::npos) << error;
    }
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer writes shadow memory for the reserved room, an eighth of it.)
    EXPECT_LT(peakResidentKiB() - before, 64 * 1024) << "KiB of peak memory taken by refused files";
#endif

    // A 200-byte file whose first element claims 4 GiB: GDCM makes room for the claim before
    // reading, in the child, whose heap is bounded; the file is skipped and the series loads.
    {
        const CTempFolder folder;
        writeSmallSeries(folder);
        std::vector<std::uint8_t> bytes = readBytes(folder.file("slice0"));
        bytes.resize(200);
        // The group length's element follows the preamble and "DICM"; the next element's
        // 16-bit length (explicit VR, OB: reserved 2 bytes, then 32 bits) becomes 0xfffffff0.
        const std::size_t second = 132 + 12;
        bytes[second + 8] = 0xf0;
        bytes[second + 9] = bytes[second + 10] = bytes[second + 11] = 0xff;
        folder.write("zz-claims-4GiB", bytes);
        const CLoadedVolume loaded = CDicomSeriesReader().read(folder.path());
        EXPECT_EQ(loaded.zSize, 3);
#if !defined(__SANITIZE_ADDRESS__)
        // (Under AddressSanitizer the child's heap is not bounded.)
        rusage children{};
        getrusage(RUSAGE_CHILDREN, &children);
        EXPECT_LT(children.ru_maxrss, 2L * 1024 * 1024) << "KiB of peak memory of the reading child";
#endif
    }

    // Slice positions or pixel spacings that give voxel sizes no scanner has (a model of them
    // would be written with infinite coordinates).
    for (const auto& [position, spacing] : {std::pair{1e307, "0.7\\0.6"}, std::pair{1e5, "0.7\\0.6"},
                                            std::pair{1.0, "1e300\\0.6"}, std::pair{1.0, "0.0001\\0.6"}}) {
        const CTempFolder folder;
        for (int z = 0; z < 2; ++z) {
            CTestSlice slice;
            slice.instance = z + 1;
            slice.position = {0, 0, z * position};
            slice.pixelSpacing = spacing;
            slice.pixels.assign(6, 0);
            writeDicom(folder.file("s" + std::to_string(z)), slice);
        }
        const std::string error = errorOf(folder.path());
        EXPECT_NE(error.find("from 0.001 to 1000 mm"), std::string::npos) << position << " " << spacing << ": " << error;
    }

    // A JPEG 2000 slice whose Rows and Columns are smaller than its codestream's image
    // would overflow the decoder's buffer: refused from the codestream's own header.
    const std::string shared = sharedData(SHARED_SERIES);
    if (!std::filesystem::is_directory(shared))
        GTEST_SKIP() << "Shared test data not found at " << shared;
    std::string source;
    for (const auto& entry : std::filesystem::directory_iterator(shared))
        if (entry.path().filename().string().rfind("CT", 0) == 0)
            source = entry.path().string();
    for (const std::uint16_t rows : {256, 511, 1024}) {
        gdcm::Reader reader;
        reader.SetFileName(source.c_str());
        ASSERT_TRUE(reader.Read());
        gdcm::DataElement entry(gdcm::Tag(0x0028, 0x0010));
        entry.SetVR(gdcm::VR::US);
        entry.SetByteValue(reinterpret_cast<const char*>(&rows), 2);
        reader.GetFile().GetDataSet().Replace(entry);
        const CTempFolder folder;
        gdcm::Writer writer;
        writer.CheckFileMetaInformationOff();
        writer.SetFile(reader.GetFile());
        writer.SetFileName(folder.file("slice").c_str());
        ASSERT_TRUE(writer.Write());
        const std::string error = errorOf(folder.path());
        EXPECT_NE(error.find("holds a JPEG 2000 image of 512 x 512 pixels"), std::string::npos) << error;
        EXPECT_NE(error.find("512 x " + std::to_string(rows)), std::string::npos) << error;
    }
}

TEST(DicomSeriesReader, Jpeg2000SizeFromCodestreamOrJp2Boxes)
{
    // SOC, SIZ (Lsiz 41 for one component), sizes 700 x 300 at offsets 100 x 50, 16 bits.
    std::vector<std::uint8_t> code = {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0};
    auto put32 = [](std::vector<std::uint8_t>& bytes, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    for (std::uint32_t v : {700u, 300u, 100u, 50u, 700u, 300u, 0u, 0u})
        put32(code, v);
    code.insert(code.end(), {0, 1, 15, 1, 1});
    auto size = velmora::import::readJpeg2000Size(code.data(), code.size());
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(std::make_tuple(size->columns, size->rows, size->components, size->bits), std::make_tuple(600LL, 250LL, 1u, 16u));

    // The same codestream in JP2 boxes: signature, a header box, then the codestream box.
    std::vector<std::uint8_t> jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0d, 0x0a, 0x87, 0x0a};
    put32(jp2, 12);
    jp2.insert(jp2.end(), {'f', 't', 'y', 'p', 'j', 'p', '2', ' '});
    put32(jp2, static_cast<std::uint32_t>(8 + code.size()));
    jp2.insert(jp2.end(), {'j', 'p', '2', 'c'});
    jp2.insert(jp2.end(), code.begin(), code.end());
    size = velmora::import::readJpeg2000Size(jp2.data(), jp2.size());
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(size->columns, 600);

    // Truncated anywhere, a box longer than the data, offsets past the size, no component.
    for (std::size_t length = 0; length < code.size(); ++length)
        EXPECT_FALSE(velmora::import::readJpeg2000Size(code.data(), length).has_value()) << length;
    for (std::size_t length = 12; length < jp2.size(); length += 7)
        EXPECT_FALSE(velmora::import::readJpeg2000Size(jp2.data(), length).has_value()) << length;
    std::vector<std::uint8_t> bad = code;
    bad[16] = 0x7F; // XOsiz beyond Xsiz
    EXPECT_FALSE(velmora::import::readJpeg2000Size(bad.data(), bad.size()).has_value());
    bad = code;
    bad[41] = 0; // Csiz 0
    EXPECT_FALSE(velmora::import::readJpeg2000Size(bad.data(), bad.size()).has_value());
}
