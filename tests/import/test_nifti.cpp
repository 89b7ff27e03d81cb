#include "CTempFolder.h"
#include "ImportChecks.h"

#include "host/import/CDensityRange.h"
#include "host/import/CImportError.h"
#include "host/import/CNiftiReader.h"

#include <nifti2_io.h>
#include <sys/resource.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

using velmora::import::CDensityRange;
using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::CNiftiReader;
using velmora::import::test::CTempFolder;
using velmora::import::test::hasWarning;
using velmora::import::test::readBytes;
using velmora::import::test::sharedData;
using velmora::import::test::voxelsOf;

namespace {

// Writes `values` (x fastest) as a NIfTI file through the NIfTI library; the extension of
// `path` (.nii or .nii.gz) picks the format.
template <typename T>
void writeNifti(const std::string& path, int datatype, std::array<std::int64_t, 7> dims, const std::vector<T>& values,
                double slope = 0.0, double intercept = 0.0, std::array<double, 3> spacing = {1.0, 1.0, 1.0},
                int units = NIFTI_UNITS_MM)
{
    std::int64_t header[8] = {0};
    header[0] = 7;
    while (header[0] > 1 && dims[header[0] - 1] == 1)
        --header[0];
    for (int i = 0; i < 7; ++i)
        header[i + 1] = dims[i];
    nifti_image* image = nifti_make_new_nim(header, datatype, 1);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(static_cast<std::size_t>(image->nvox), values.size());
    ASSERT_EQ(static_cast<std::size_t>(image->nbyper), sizeof(T));
    std::memcpy(image->data, values.data(), values.size() * sizeof(T));
    image->dx = image->pixdim[1] = spacing[0];
    image->dy = image->pixdim[2] = spacing[1];
    image->dz = image->pixdim[3] = spacing[2];
    image->scl_slope = slope;
    image->scl_inter = intercept;
    image->xyz_units = units;
    ASSERT_EQ(nifti_set_filenames(image, path.c_str(), 0, 1), 0);
    nifti_image_write(image);
    nifti_image_free(image);
    ASSERT_TRUE(std::filesystem::exists(path));
}

std::string errorOf(const std::string& source) { return velmora::import::test::errorOf(CNiftiReader(), source); }

} // namespace

TEST(NiftiReader, SharedAbdomenFilesMatchTheirReference)
{
    struct CExpected
    {
        const char* file;
        int x, y, z;
        int min, max;
        std::size_t above300, from200;
    };
    const CExpected cases[] = {
        {"ct-abdomen-nifti/example_ct.nii.gz", 122, 101, 112, -1207, 3382, 14401, 26922},
        {"ct-abdomen-nifti/example_ct_sm.nii.gz", 122, 101, 30, -1100, 1207, 1351, 3377},
    };
    for (const CExpected& expected : cases) {
        SCOPED_TRACE(expected.file);
        const std::string path = sharedData(expected.file);
        if (!std::filesystem::exists(path))
            GTEST_SKIP() << "Shared test data not found at " << path;
        const CLoadedVolume volume = CNiftiReader().read(path);
        EXPECT_EQ(volume.xSize, expected.x);
        EXPECT_EQ(volume.ySize, expected.y);
        EXPECT_EQ(volume.zSize, expected.z);
        EXPECT_DOUBLE_EQ(volume.dx, 3.0);
        EXPECT_DOUBLE_EQ(volume.dy, 3.0);
        EXPECT_DOUBLE_EQ(volume.dz, 3.0);
        EXPECT_TRUE(volume.warnings.empty());
        const CDensityRange range = CDensityRange::of(volume.voxels);
        EXPECT_EQ(range.min, expected.min);
        EXPECT_EQ(range.max, expected.max);
        EXPECT_EQ(std::count_if(volume.voxels.begin(), volume.voxels.end(), [](std::int16_t v) { return v > 300; }),
                  static_cast<std::ptrdiff_t>(expected.above300));
        EXPECT_EQ(std::count_if(volume.voxels.begin(), volume.voxels.end(), [](std::int16_t v) { return v >= 200; }),
                  static_cast<std::ptrdiff_t>(expected.from200));
    }
}

TEST(NiftiReader, FloatValuesAreRoundedAndClampedWithWarnings)
{
    const CTempFolder folder;
    const std::string path = folder.file("float.nii");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> values = {1.4f, 1.5f, -1.5f, 2.5f, -2.6f, 40000.0f, -40000.0f, nan,
                                       32767.4f, -32768.4f, 0.0f, -0.4f};
    writeNifti(path, DT_FLOAT32, {3, 2, 2, 1, 1, 1, 1}, values, 0.0, 0.0, {-0.8, 0.9, 2.5});

    const CLoadedVolume volume = CNiftiReader().read(path);
    EXPECT_EQ(volume.xSize, 3);
    EXPECT_EQ(volume.ySize, 2);
    EXPECT_EQ(volume.zSize, 2);
    EXPECT_FLOAT_EQ(volume.dx, 0.8f); // the sign of pixdim is the axis direction, not the spacing
    EXPECT_FLOAT_EQ(volume.dy, 0.9f);
    EXPECT_FLOAT_EQ(volume.dz, 2.5f);
    EXPECT_EQ(voxelsOf(volume), (std::vector<std::int16_t>{1, 2, -2, 3, -3, 32767, -32768, 0, 32767, -32768, 0, 0}));
    ASSERT_EQ(volume.warnings.size(), 2u);
    EXPECT_TRUE(hasWarning(volume, "2 values outside -32768..32767 were clamped"));
    EXPECT_TRUE(hasWarning(volume, "1 values that were not numbers were set to 0"));
}

TEST(NiftiReader, StoredTypesScalingUnitsAndExtraVolumes)
{
    const CTempFolder folder;

    // uint8 with a slope and intercept, spacing given in metres.
    const std::string bytes = folder.file("bytes.nii.gz");
    writeNifti(bytes, DT_UINT8, {2, 2, 1, 1, 1, 1, 1}, std::vector<std::uint8_t>{0, 1, 128, 255}, 2.0, -100.5,
               {0.001, 0.002, 0.0005}, NIFTI_UNITS_METER);
    CLoadedVolume volume = CNiftiReader().read(bytes);
    EXPECT_EQ(voxelsOf(volume), (std::vector<std::int16_t>{-101, -99, 156, 410})); // -100.5 and -98.5 round away from 0
    EXPECT_NEAR(volume.dx, 1.0, 1e-6); // NIfTI-1 keeps pixdim in 32 bits
    EXPECT_NEAR(volume.dy, 2.0, 1e-6);
    EXPECT_NEAR(volume.dz, 0.5, 1e-6);
    EXPECT_TRUE(volume.warnings.empty());

    // A slope of 0 means unscaled, whatever the intercept.
    const std::string shorts = folder.file("shorts.nii");
    writeNifti(shorts, DT_INT16, {2, 1, 1, 1, 1, 1, 1}, std::vector<std::int16_t>{-32768, 32767}, 0.0, 500.0);
    EXPECT_EQ(voxelsOf(CNiftiReader().read(shorts)), (std::vector<std::int16_t>{-32768, 32767}));

    // uint16 and int8 unscaled, clamping only what does not fit.
    const std::string words = folder.file("words.nii");
    writeNifti(words, DT_UINT16, {3, 1, 1, 1, 1, 1, 1}, std::vector<std::uint16_t>{0, 32767, 40000});
    volume = CNiftiReader().read(words);
    EXPECT_EQ(voxelsOf(volume), (std::vector<std::int16_t>{0, 32767, 32767}));
    EXPECT_TRUE(hasWarning(volume, "1 values outside"));
    const std::string signedBytes = folder.file("int8.nii");
    writeNifti(signedBytes, DT_INT8, {2, 1, 1, 1, 1, 1, 1}, std::vector<std::int8_t>{-128, 127});
    EXPECT_EQ(voxelsOf(CNiftiReader().read(signedBytes)), (std::vector<std::int16_t>{-128, 127}));

    // Two volumes of float64 (a 4-D file): the first is loaded, with a warning.
    const std::string series = folder.file("series.nii.gz");
    writeNifti(series, DT_FLOAT64, {2, 1, 2, 2, 1, 1, 1}, std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8});
    volume = CNiftiReader().read(series);
    EXPECT_EQ(volume.zSize, 2);
    EXPECT_EQ(voxelsOf(volume), (std::vector<std::int16_t>{1, 2, 3, 4}));
    EXPECT_TRUE(hasWarning(volume, "more than one volume"));

    // uint32 and int64 beyond 16 bits.
    const std::string longs = folder.file("uint32.nii");
    writeNifti(longs, DT_UINT32, {2, 1, 1, 1, 1, 1, 1}, std::vector<std::uint32_t>{4000000000u, 5});
    EXPECT_EQ(voxelsOf(CNiftiReader().read(longs)), (std::vector<std::int16_t>{32767, 5}));
    const std::string wide = folder.file("int64.nii");
    writeNifti(wide, DT_INT64, {2, 1, 1, 1, 1, 1, 1}, std::vector<std::int64_t>{-5000000000LL, -7});
    EXPECT_EQ(voxelsOf(CNiftiReader().read(wide)), (std::vector<std::int16_t>{-32768, -7}));
}

TEST(NiftiReader, LargeIntegerVolumesMatchABruteForceConversion)
{
    // Random values of every integer type up to 32 bits, in volumes of several read chunks
    // plus a rest, plain and compressed, unscaled and scaled: each voxel is the value (times
    // the slope plus the intercept) rounded and clamped to 16 bits, and clamping is counted.
    const CTempFolder folder;
    const std::array<std::int64_t, 7> dims = {67, 61, 73, 1, 1, 1, 1}; // 298351 voxels
    const std::size_t count = 67 * 61 * 73;
    std::uint64_t state = 0x2545f4914f6cdd1dULL;
    auto random = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    auto check = [&](auto type, int datatype) {
        using T = decltype(type);
        std::vector<T> values(count);
        for (T& value : values)
            value = static_cast<T>(random());
        for (const char* name : {"v.nii", "v.nii.gz"}) {
            for (const double slope : {0.0, 0.5}) {
                SCOPED_TRACE(std::string(name) + ", " + std::to_string(sizeof(T)) + " bytes, "
                             + (std::is_signed_v<T> ? "signed" : "unsigned") + ", slope " + std::to_string(slope));
                const std::string path = folder.file(name);
                writeNifti(path, datatype, dims, values, slope, slope != 0.0 ? -3.0 : 0.0);
                std::vector<std::int16_t> expected(count);
                std::uint64_t clamped = 0;
                for (std::size_t i = 0; i < count; ++i) {
                    const double real = std::round(slope != 0.0 ? static_cast<double>(values[i]) * slope - 3.0
                                                                : static_cast<double>(values[i]));
                    clamped += real < -32768.0 || real > 32767.0;
                    expected[i] = static_cast<std::int16_t>(std::clamp(real, -32768.0, 32767.0));
                }
                const CLoadedVolume volume = CNiftiReader().read(path);
                EXPECT_TRUE(voxelsOf(volume) == expected);
                EXPECT_EQ(volume.warnings.size(), clamped > 0 ? 1u : 0u);
                if (clamped > 0) {
                    EXPECT_TRUE(hasWarning(volume, ": " + std::to_string(clamped) + " values outside"));
                }
                std::filesystem::remove(path);
            }
        }
    };
    check(std::int8_t{}, DT_INT8);
    check(std::uint8_t{}, DT_UINT8);
    check(std::int16_t{}, DT_INT16);
    check(std::uint16_t{}, DT_UINT16);
    check(std::int32_t{}, DT_INT32);
    check(std::uint32_t{}, DT_UINT32);
}

TEST(NiftiReader, LargePlainVolumesReadInPartsMatchTheFile)
{
    // 16-bit voxels of uncompressed files are read by several threads, a part each: the
    // volume equals the stored values whatever the split, with further volumes of a 4D
    // file and a volume too small to split alike.
    const CTempFolder folder;
    std::uint32_t state = 12345;
    for (const std::array<std::int64_t, 7> dims : {std::array<std::int64_t, 7>{512, 256, 67, 1, 1, 1, 1},
                                                   std::array<std::int64_t, 7>{301, 257, 71, 2, 1, 1, 1},
                                                   std::array<std::int64_t, 7>{5, 3, 2, 1, 1, 1, 1}}) {
        const std::size_t first = static_cast<std::size_t>(dims[0] * dims[1] * dims[2]);
        std::vector<std::int16_t> values(first * static_cast<std::size_t>(dims[3]));
        for (std::int16_t& value : values) {
            state = state * 1664525u + 1013904223u;
            value = static_cast<std::int16_t>(state >> 16);
        }
        SCOPED_TRACE(std::to_string(values.size()) + " voxels");
        const std::string path = folder.file("plain.nii");
        writeNifti(path, DT_INT16, dims, values);
        const CLoadedVolume volume = CNiftiReader().read(path);
        EXPECT_TRUE(voxelsOf(volume) == std::vector<std::int16_t>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(first)));
    }
}

TEST(NiftiReader, CompressedFilesOfOneOrSeveralMembersMatchThePlainFile)
{
    // A gzip file of one member holding just the volume is inflated whole; one of several
    // members (as `gzip` appends), or holding a further volume, is read as a stream: each
    // gives the voxels of the plain file.
    const CTempFolder folder;
    std::uint32_t state = 777;
    for (const std::int64_t volumes : {1, 2}) {
        std::vector<std::int32_t> values(static_cast<std::size_t>(61 * 53 * 31 * volumes));
        for (std::int32_t& value : values) {
            state = state * 1664525u + 1013904223u;
            value = static_cast<std::int32_t>(state >> 17) - 16384;
        }
        const std::string plain = folder.file("v.nii");
        writeNifti(plain, DT_INT32, {61, 53, 31, volumes, 1, 1, 1}, values);
        const std::vector<std::int16_t> expected = voxelsOf(CNiftiReader().read(plain));
        ASSERT_EQ(expected.size(), std::size_t(61 * 53 * 31));
        EXPECT_EQ(expected[5], values[5]);
        const std::vector<std::uint8_t> bytes = readBytes(plain);
        for (const std::size_t split : {bytes.size(), std::size_t(100), bytes.size() / 3, bytes.size() - 1}) {
            SCOPED_TRACE(std::to_string(volumes) + " volumes, first member " + std::to_string(split) + " bytes");
            const std::string packed = folder.file("v.nii.gz");
            std::filesystem::remove(packed);
            for (const auto& [from, to] : {std::pair{std::size_t(0), split}, std::pair{split, bytes.size()}}) {
                if (from == to)
                    continue;
                gzFile file = gzopen(packed.c_str(), "ab1");
                ASSERT_NE(file, nullptr);
                ASSERT_EQ(gzwrite(file, bytes.data() + from, static_cast<unsigned>(to - from)), static_cast<int>(to - from));
                gzclose(file);
            }
            EXPECT_TRUE(voxelsOf(CNiftiReader().read(packed)) == expected);
        }
    }
}

TEST(NiftiReader, DamagedOrUnsupportedFilesGiveClearErrors)
{
    const CTempFolder folder;
    std::vector<std::int16_t> values(32 * 32 * 8);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::int16_t>((i * 2654435761u) >> 7);
    const std::string plain = folder.file("good.nii");
    const std::string packed = folder.file("good.nii.gz");
    writeNifti(plain, DT_INT16, {32, 32, 8, 1, 1, 1, 1}, values);
    writeNifti(packed, DT_INT16, {32, 32, 8, 1, 1, 1, 1}, values);
    ASSERT_EQ(voxelsOf(CNiftiReader().read(plain)), values);
    ASSERT_EQ(voxelsOf(CNiftiReader().read(packed)), values);

    EXPECT_NE(errorOf(folder.file("missing.nii")).find("does not exist"), std::string::npos);

    const std::string garbage = folder.write("garbage.nii", std::vector<std::uint8_t>(600, 0x5a));
    EXPECT_NE(errorOf(garbage).find("is not a NIfTI file or its header is damaged"), std::string::npos);

    std::vector<std::uint8_t> bytes = readBytes(plain);
    const std::string headerOnly = folder.write("header-only.nii", {bytes.begin(), bytes.begin() + 100});
    EXPECT_NE(errorOf(headerOnly).find("is not a NIfTI file or its header is damaged"), std::string::npos);

    const std::string cut = folder.write("cut.nii", {bytes.begin(), bytes.end() - 1000});
    EXPECT_NE(errorOf(cut).find("is truncated or damaged"), std::string::npos) << errorOf(cut);

    std::vector<std::uint8_t> packedBytes = readBytes(packed);
    const std::string cutPacked
        = folder.write("cut.nii.gz", {packedBytes.begin(), packedBytes.begin() + static_cast<long>(packedBytes.size() * 2 / 3)});
    EXPECT_NE(errorOf(cutPacked).find("is truncated or damaged"), std::string::npos) << errorOf(cutPacked);

    // dim[1..3] (16-bit values at byte 42 of a NIfTI-1 header) claiming 32767^3 voxels must
    // be refused from the header alone.
    std::vector<std::uint8_t> huge = bytes;
    for (int axis = 1; axis <= 3; ++axis) {
        huge[40 + 2 * axis] = 0xff;
        huge[41 + 2 * axis] = 0x7f;
    }
    EXPECT_NE(errorOf(folder.write("huge.nii", huge)).find("too large"), std::string::npos);

    // Headers that the library would repair and read on: sizes of 0 or below, voxel offsets
    // inside the header, negative, fractional or not a number, voxel sizes out of range.
    auto patched = [&](const char* name, auto edit) {
        std::vector<std::uint8_t> copy = bytes;
        edit(copy.data());
        return errorOf(folder.write(name, copy));
    };
    auto setShort = [](std::uint8_t* at, std::int16_t value) { std::memcpy(at, &value, 2); };
    auto setFloat = [](std::uint8_t* at, float value) { std::memcpy(at, &value, 4); };
    const struct
    {
        int field; // dim index, or -1 for vox_offset, or -(10 + axis) for pixdim[axis]
        double value;
        const char* expected;
    } damages[] = {
        {2, 0, "dim[2] = 0"},
        {3, 0, "dim[3] = 0"},
        {2, -4, "dim[2] = -4"},
        {1, -1, "dim[1] = -1"},
        {-1, 0, "vox_offset = 0"},
        {-1, -352, "vox_offset = -352"},
        {-1, 348, "vox_offset = 348"},
        {-1, 352.5, "vox_offset = 352.5"},
        {-1, std::numeric_limits<float>::quiet_NaN(), "vox_offset = nan"},
        {-12, 3e38, "from 0.001 to 1000 mm"},
        {-13, 1e-4, "from 0.001 to 1000 mm"},
        {-11, std::numeric_limits<float>::infinity(), "from 0.001 to 1000 mm"},
        {-12, std::numeric_limits<float>::quiet_NaN(), "from 0.001 to 1000 mm"},
        {-13, 0, "1 mm was assumed"}, // a size never set: the default, as before
    };
    for (const auto& damage : damages) {
        const std::string error = patched("damaged.nii", [&](std::uint8_t* header) {
            if (damage.field >= 0)
                setShort(header + 40 + 2 * damage.field, static_cast<std::int16_t>(damage.value));
            else if (damage.field == -1)
                setFloat(header + 108, static_cast<float>(damage.value));
            else
                setFloat(header + 76 + 4 * (-damage.field - 10), static_cast<float>(damage.value));
        });
        if (std::string(damage.expected).find("assumed") != std::string::npos)
            EXPECT_TRUE(hasWarning(CNiftiReader().read(folder.file("damaged.nii")), damage.expected)) << error;
        else
            EXPECT_NE(error.find(damage.expected), std::string::npos) << damage.field << " = " << damage.value << ": " << error;
    }

    // A gzip stream with damaged bytes inside, and one that lacks only its trailer (checksum
    // and length): both are refused, not loaded as whatever the damaged stream inflates to.
    {
        std::vector<std::uint8_t> damaged = packedBytes;
        for (std::size_t i = 0; i < 100; ++i)
            damaged[damaged.size() / 2 + i] ^= 0x5a;
        const std::string error = errorOf(folder.write("damaged.nii.gz", damaged));
        EXPECT_NE(error.find("damaged"), std::string::npos) << error;
        std::vector<std::uint8_t> noTrailer(packedBytes.begin(), packedBytes.end() - 8);
        EXPECT_NE(errorOf(folder.write("trailer.nii.gz", noTrailer)).find("damaged"), std::string::npos);
        std::vector<std::uint8_t> wrongCheck = packedBytes;
        wrongCheck[wrongCheck.size() - 8] ^= 1; // the CRC-32 of the uncompressed data
        EXPECT_NE(errorOf(folder.write("crc.nii.gz", wrongCheck)).find("damaged"), std::string::npos);
    }

    // A small compressed file that claims 512^3 voxels but holds a few slices: refused at the
    // end of its data, having taken memory for what it holds, not for what it claims.
    {
        std::vector<std::int16_t> slices(512 * 512 * 8, 5);
        const std::string claimed = folder.file("claims.nii.gz");
        writeNifti(claimed, DT_INT16, {512, 512, 8, 1, 1, 1, 1}, slices);
        // dim[3] (byte 46) becomes 512 in a recompressed copy.
        gzFile in = gzopen(claimed.c_str(), "rb");
        std::vector<std::uint8_t> inflated(352 + slices.size() * 2);
        ASSERT_EQ(gzread(in, inflated.data(), static_cast<unsigned>(inflated.size())), static_cast<int>(inflated.size()));
        gzclose(in);
        const std::int16_t depth = 512;
        std::memcpy(inflated.data() + 46, &depth, 2);
        gzFile out = gzopen(claimed.c_str(), "wb");
        gzwrite(out, inflated.data(), static_cast<unsigned>(inflated.size()));
        gzclose(out);
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const long before = usage.ru_maxrss;
        EXPECT_NE(errorOf(claimed).find("ends after 2097152 of its 134217728 voxels"), std::string::npos) << errorOf(claimed);
        getrusage(RUSAGE_SELF, &usage);
#if !defined(__SANITIZE_ADDRESS__)
        // (AddressSanitizer writes shadow memory for the reserved room, an eighth of it.)
        EXPECT_LT(usage.ru_maxrss - before, 64 * 1024) << "KiB of peak memory for 4 MiB of data";
#endif
    }

    const std::string complex = folder.file("complex.nii");
    writeNifti(complex, DT_COMPLEX64, {1, 1, 1, 1, 1, 1, 1}, std::vector<std::uint64_t>{0});
    EXPECT_NE(errorOf(complex).find("cannot be loaded as densities"), std::string::npos) << errorOf(complex);
}

namespace {

// A 2 x 2 x 2 uint8 file through the NIfTI library, its header set up by `edit`.
template <typename TEdit>
void writeGeometryNifti(const std::string& path, TEdit edit)
{
    const std::int64_t dims[8] = {3, 2, 2, 2, 1, 1, 1, 1};
    nifti_image* image = nifti_make_new_nim(dims, DT_UINT8, 1);
    ASSERT_NE(image, nullptr);
    image->xyz_units = NIFTI_UNITS_MM;
    edit(*image);
    image->dx = image->pixdim[1];
    image->dy = image->pixdim[2];
    image->dz = image->pixdim[3];
    ASSERT_EQ(nifti_set_filenames(image, path.c_str(), 0, 1), 0);
    nifti_image_write(image);
    nifti_image_free(image);
}

} // namespace

TEST(NiftiReader, GeometryComesFromSformQformOrVoxelSizes)
{
    // Each file's placement in LPS millimetres, worked out by hand from its RAS header.
    using CRows = std::array<std::array<double, 4>, 3>;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CRows sformA = {{{-0.8, 0, 0, 10}, {0, 0, 2.5, -20}, {0, 0.9, 0, 30}}};
    const CRows diagonal2 = {{{2, 0, 0, 1}, {0, 2, 0, 2}, {0, 0, 2, 3}}};
    struct CQform
    {
        double b, c, d, qfac;
        std::array<double, 3> offset;
    };
    const CQform quarterTurnReflected = {0, 0, std::sqrt(0.5), -1, {5, 6, 7}}; // 90 degrees about z
    const struct
    {
        const char* what;
        std::optional<CRows> sform;
        std::optional<CQform> qform;
        std::array<double, 3> pixdim;
        int units;
        std::array<double, 3> spacing;
        std::array<double, 3> origin;
        std::array<std::array<double, 3>, 3> axes;
        const char* warning; // nullptr: none
    } cases[] = {
        {"sform only", sformA, {}, {0.8, 0.9, 2.5}, NIFTI_UNITS_MM, {0.8, 0.9, 2.5}, {-10, 20, 30},
         {{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}}, nullptr},
        {"qform only, reflected", {}, quarterTurnReflected, {2, 3, 4}, NIFTI_UNITS_MM, {2, 3, 4}, {-5, -6, 7},
         {{{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}}, nullptr},
        {"neither", {}, {}, {0.5, 0.6, 0.7}, NIFTI_UNITS_MM, {0.5, 0.6, 0.7}, {0, 0, 0},
         {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, nullptr},
        {"pixdim 1 % off the sform", diagonal2, {}, {2.02, 2, 2}, NIFTI_UNITS_MM, {2, 2, 2}, {-1, -2, 3},
         {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, "gives voxel sizes of 2.02 x 2 x 2 mm in pixdim but 2 x 2 x 2 mm in its sform"},
        {"pixdim 0.05 % off the sform", diagonal2, {}, {2.001, 2, 2}, NIFTI_UNITS_MM, {2, 2, 2}, {-1, -2, 3},
         {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, nullptr},
        {"sform before qform", sformA, quarterTurnReflected, {0.8, 0.9, 2.5}, NIFTI_UNITS_MM, {0.8, 0.9, 2.5},
         {-10, 20, 30}, {{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}}, nullptr},
        {"sform not a number", CRows{{{nan, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}}, quarterTurnReflected, {2, 3, 4},
         NIFTI_UNITS_MM, {2, 3, 4}, {-5, -6, 7}, {{{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}},
         "sform cannot place the volume (it holds values that are not numbers); its qform was used instead"},
        {"sform axis of length 0", CRows{{{1, 0, 0, 4}, {0, 0, 0, 4}, {0, 0, 1, 4}}}, {}, {1, 1, 1}, NIFTI_UNITS_MM,
         {1, 1, 1}, {0, 0, 0}, {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, "its axis 2 has length 0"},
        {"sform axes in a plane", CRows{{{1, 0, 1, 4}, {0, 1, 0, 4}, {0, 0, 0, 4}}}, quarterTurnReflected, {2, 3, 4},
         NIFTI_UNITS_MM, {2, 3, 4}, {-5, -6, 7}, {{{0, -1, 0}, {1, 0, 0}, {0, 0, -1}}}, "its axes do not span space"},
        {"metres", CRows{{{0.002, 0, 0, 0.01}, {0, 0.003, 0, 0.02}, {0, 0, 0.004, 0.03}}}, {}, {0.002, 0.003, 0.004},
         NIFTI_UNITS_METER, {2, 3, 4}, {-10, -20, 30}, {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, nullptr},
        {"qform with a size never set", {}, CQform{0, 0, 0, 1, {0, 0, 0}}, {1, 1, 0}, NIFTI_UNITS_MM, {1, 1, 1},
         {0, 0, 0}, {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}, "1 mm was assumed"},
    };
    const CTempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.file("geometry.nii");
        writeGeometryNifti(path, [&](nifti_image& image) {
            for (int axis = 0; axis < 3; ++axis)
                image.pixdim[axis + 1] = c.pixdim[axis];
            image.xyz_units = c.units;
            if (c.sform) {
                image.sform_code = NIFTI_XFORM_SCANNER_ANAT;
                for (int row = 0; row < 3; ++row)
                    for (int column = 0; column < 4; ++column)
                        image.sto_xyz.m[row][column] = (*c.sform)[row][column];
            }
            if (c.qform) {
                image.qform_code = NIFTI_XFORM_ALIGNED_ANAT;
                image.quatern_b = c.qform->b;
                image.quatern_c = c.qform->c;
                image.quatern_d = c.qform->d;
                image.qfac = c.qform->qfac;
                image.qoffset_x = c.qform->offset[0];
                image.qoffset_y = c.qform->offset[1];
                image.qoffset_z = c.qform->offset[2];
            }
        });
        const CLoadedVolume volume = CNiftiReader().read(path);
        EXPECT_NEAR(volume.dx, c.spacing[0], 1e-6);
        EXPECT_NEAR(volume.dy, c.spacing[1], 1e-6);
        EXPECT_NEAR(volume.dz, c.spacing[2], 1e-6);
        for (int component = 0; component < 3; ++component) {
            EXPECT_NEAR(volume.geometry.origin[component], c.origin[component], 1e-5);
            for (int axis = 0; axis < 3; ++axis)
                EXPECT_NEAR(volume.geometry.axes[axis][component], c.axes[axis][component], 1e-6) << "axis " << axis;
        }
        if (c.warning == nullptr) {
            EXPECT_TRUE(volume.warnings.empty()) << volume.warnings.front();
        } else {
            EXPECT_EQ(volume.warnings.size(), 1u);
            EXPECT_TRUE(hasWarning(volume, c.warning)) << (volume.warnings.empty() ? "" : volume.warnings.front());
            EXPECT_TRUE(hasWarning(volume, path));
        }
    }

    // The shared scan: sform code 2, 3 mm, RAS offset (-177.95632935, 11.31900024, 94.30175781).
    const std::string shared = sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz");
    if (!std::filesystem::exists(shared))
        GTEST_SKIP() << "Shared test data not found at " << shared;
    const CLoadedVolume scan = CNiftiReader().read(shared);
    const std::array<double, 3> origin = {177.95632935, -11.31900024, 94.30175781};
    const std::array<std::array<double, 3>, 3> axes = {{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}};
    for (int component = 0; component < 3; ++component) {
        EXPECT_NEAR(scan.geometry.origin[component], origin[component], 1e-5);
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_EQ(scan.geometry.axes[axis][component], axes[axis][component]);
    }
    EXPECT_TRUE(scan.warnings.empty());
}
