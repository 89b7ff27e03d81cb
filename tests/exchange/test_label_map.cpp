#include "CTempFolder.h"
#include "NiftiBytes.h"

#include "host/exchange/LabelMapFile.h"
#include "host/exchange/Reorientation.h"
#include "host/import/CImportError.h"
#include "host/import/CNiftiReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>

using namespace velmora::exchange;
using namespace velmora::exchange::test;
using velmora::import::CImportError;
using velmora::import::CPatientGeometry;
using velmora::import::test::CTempFolder;
using velmora::import::test::readBytes;
using velmora::import::test::sharedData;

namespace {

using CMatrix = std::array<std::array<double, 3>, 3>;

// Rotation by `degrees` about the unit vector `axis` (Rodrigues).
CMatrix rotation(std::array<double, 3> axis, double degrees)
{
    const double angle = degrees * M_PI / 180.0, c = std::cos(angle), s = std::sin(angle);
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    for (double& v : axis)
        v /= length;
    const auto [x, y, z] = axis;
    return {{{c + x * x * (1 - c), x * y * (1 - c) - z * s, x * z * (1 - c) + y * s},
             {y * x * (1 - c) + z * s, c + y * y * (1 - c), y * z * (1 - c) - x * s},
             {z * x * (1 - c) - y * s, z * y * (1 - c) + x * s, c + z * z * (1 - c)}}};
}

// Geometry whose voxel axes are the columns of `m`, the third reversed when `reflect`.
CPatientGeometry geometryOf(const CMatrix& m, bool reflect, std::array<double, 3> origin)
{
    CPatientGeometry geometry;
    geometry.origin = origin;
    for (int axis = 0; axis < 3; ++axis)
        for (int c = 0; c < 3; ++c)
            geometry.axes[axis][c] = m[c][axis] * (reflect && axis == 2 ? -1.0 : 1.0);
    return geometry;
}

CLabelMap randomMap(std::array<int, 3> size, std::array<double, 3> spacing, const CPatientGeometry& geometry,
                    int largest, unsigned seed)
{
    CLabelMap map;
    map.xSize = size[0];
    map.ySize = size[1];
    map.zSize = size[2];
    map.dx = spacing[0];
    map.dy = spacing[1];
    map.dz = spacing[2];
    map.geometry = geometry;
    std::mt19937 random(seed);
    map.labels.resize(static_cast<std::size_t>(size[0] * size[1] * size[2]));
    for (std::uint16_t& label : map.labels)
        label = static_cast<std::uint16_t>(random() % (largest + 1));
    map.labels.back() = static_cast<std::uint16_t>(largest);
    return map;
}

std::string importErrorOf(const std::string& path)
{
    try {
        readLabelMap(path);
    } catch (const CImportError& error) {
        return error.what();
    }
    return "no error";
}

std::string writeErrorOf(const std::string& path, const CLabelMap& map)
{
    try {
        writeLabelMap(path, map);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(LabelMapFile, WrittenFilesFollowTheNiftiLayoutAndReadBack)
{
    const CTempFolder folder;
    const struct
    {
        const char* name;
        std::array<int, 3> size;
        std::array<double, 3> spacing;
        CMatrix axes;
        bool reflect;
        std::array<double, 3> origin;
        int largest; // the largest label: 8 bits up to 255
    } cases[] = {
        {"plain.nii", {5, 4, 3}, {2, 3, 4}, rotation({0, 0, 1}, 0), false, {10, 20, 30}, 255},
        {"packed.NII.GZ", {5, 4, 3}, {0.7, 0.8, 2.5}, rotation({1, 2, 3}, 37), false, {-4.5, 100, 7.25}, 117},
        {"wide.nii.gz", {7, 3, 2}, {1, 1, 1}, rotation({0, 1, 0}, 90), true, {1, -2, 3}, 256},
        {"wide.nii", {3, 6, 4}, {0.5, 1.5, 3}, rotation({-2, 1, 0.5}, 121), true, {-177.9, 11.3, 94.3}, 65535},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CLabelMap map = randomMap(c.size, c.spacing, geometryOf(c.axes, c.reflect, c.origin), c.largest, 7);
        const std::string path = folder.file(c.name);
        writeLabelMap(path, map);

        const std::string name = c.name;
        const bool compressed = name.find(".gz") != std::string::npos || name.find(".GZ") != std::string::npos;
        const std::vector<std::uint8_t> stored = readBytes(path);
        ASSERT_GE(stored.size(), 2u);
        EXPECT_EQ(stored[0] == 0x1f && stored[1] == 0x8b, compressed);
        const std::vector<std::uint8_t> bytes = inflatedBytes(path);
        const bool wide = c.largest > 255;
        const std::size_t count = map.labels.size();
        ASSERT_EQ(bytes.size(), HEADER_BYTES + count * (wide ? 2 : 1));
        EXPECT_EQ(fieldOf<std::int32_t>(bytes, SIZEOF_HDR), 348);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + MAGIC)), "n+1");
        EXPECT_EQ(fieldOf<std::int16_t>(bytes, DIM), 3);
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_EQ(fieldOf<std::int16_t>(bytes, DIM + 2 * (axis + 1)), c.size[axis]);
            EXPECT_FLOAT_EQ(fieldOf<float>(bytes, PIXDIM + 4 * (axis + 1)), static_cast<float>(c.spacing[axis]));
        }
        EXPECT_EQ(fieldOf<std::int16_t>(bytes, DATATYPE), wide ? 512 : 2);
        EXPECT_EQ(fieldOf<std::int16_t>(bytes, BITPIX), wide ? 16 : 8);
        EXPECT_EQ(fieldOf<float>(bytes, VOX_OFFSET), 352.0f);
        EXPECT_EQ(fieldOf<float>(bytes, SCL_SLOPE), 0.0f);
        EXPECT_EQ(bytes[XYZT_UNITS] & 7, 2);
        EXPECT_EQ(fieldOf<std::int16_t>(bytes, QFORM_CODE), 1);
        EXPECT_EQ(fieldOf<std::int16_t>(bytes, SFORM_CODE), 1);

        // The sform in RAS: LPS with x and y negated, columns scaled by the voxel sizes.
        double srow[3][4];
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 4; ++column)
                srow[row][column] = fieldOf<float>(bytes, SROW_X + 16 * row + 4 * column);
        const double sign[3] = {-1, -1, 1};
        for (int row = 0; row < 3; ++row) {
            for (int axis = 0; axis < 3; ++axis)
                EXPECT_NEAR(srow[row][axis], sign[row] * map.geometry.axes[axis][row] * c.spacing[axis], 1e-5);
            EXPECT_NEAR(srow[row][3], sign[row] * c.origin[row], 1e-4);
        }
        if (std::string(c.name) == "plain.nii") { // spelled out once
            EXPECT_EQ(srow[0][0], -2.0);
            EXPECT_EQ(srow[1][1], -3.0);
            EXPECT_EQ(srow[2][2], 4.0);
            EXPECT_EQ(srow[0][3], -10.0);
            EXPECT_EQ(srow[1][3], -20.0);
            EXPECT_EQ(srow[2][3], 30.0);
        }

        // The qform gives the same matrix: rotation of the quaternion, third column times
        // qfac (pixdim[0]), columns times pixdim, offset.
        const double b = fieldOf<float>(bytes, QUATERN_B), cq = fieldOf<float>(bytes, QUATERN_B + 4),
                     d = fieldOf<float>(bytes, QUATERN_B + 8);
        const double a = std::sqrt(std::max(0.0, 1.0 - b * b - cq * cq - d * d));
        const double rotationMatrix[3][3] = {{a * a + b * b - cq * cq - d * d, 2 * (b * cq - a * d), 2 * (b * d + a * cq)},
                                             {2 * (b * cq + a * d), a * a + cq * cq - b * b - d * d, 2 * (cq * d - a * b)},
                                             {2 * (b * d - a * cq), 2 * (cq * d + a * b), a * a + d * d - cq * cq - b * b}};
        const double qfac = fieldOf<float>(bytes, PIXDIM);
        EXPECT_EQ(std::fabs(qfac), 1.0);
        EXPECT_EQ(qfac < 0, c.reflect);
        for (int row = 0; row < 3; ++row) {
            for (int axis = 0; axis < 3; ++axis)
                EXPECT_NEAR(rotationMatrix[row][axis] * (axis == 2 ? qfac : 1.0) * fieldOf<float>(bytes, PIXDIM + 4 * (axis + 1)),
                            srow[row][axis], 1e-3); // a, from 32-bit b, c, d, is coarse near 0
            EXPECT_EQ(fieldOf<float>(bytes, QOFFSET_X + 4 * row), static_cast<float>(srow[row][3]));
        }

        std::vector<std::uint16_t> labels(count);
        for (std::size_t i = 0; i < count; ++i)
            labels[i] = wide ? fieldOf<std::uint16_t>(bytes, HEADER_BYTES + 2 * i) : bytes[HEADER_BYTES + i];
        EXPECT_EQ(labels, map.labels);

        const CLabelMap back = readLabelMap(path);
        EXPECT_EQ(back.labels, map.labels);
        EXPECT_EQ((std::array<int, 3>{back.xSize, back.ySize, back.zSize}), c.size);
        EXPECT_NEAR(back.dx, c.spacing[0], 1e-6);
        EXPECT_NEAR(back.dy, c.spacing[1], 1e-6);
        EXPECT_NEAR(back.dz, c.spacing[2], 1e-6);
        for (int axis = 0; axis < 3; ++axis)
            for (int component = 0; component < 3; ++component)
                EXPECT_NEAR(back.geometry.axes[axis][component], map.geometry.axes[axis][component], 1e-6);
        for (int component = 0; component < 3; ++component)
            EXPECT_NEAR(back.geometry.origin[component], c.origin[component], 1e-4);
        EXPECT_TRUE(back.warnings.empty()) << back.warnings.front();
    }
}

TEST(LabelMapFile, WriterRefusesWhatItCannotStoreAndKeepsTheOldFile)
{
    const CTempFolder folder;
    const CLabelMap good = randomMap({4, 3, 2}, {1, 1, 1}, CPatientGeometry(), 9, 3);
    const std::string target = folder.file("kept.nii.gz");
    writeLabelMap(target, good);
    const std::vector<std::uint8_t> before = readBytes(target);
    const std::string folderTarget = folder.file("folder.nii");
    std::filesystem::create_directory(folderTarget);

    auto changed = [&](auto edit) {
        CLabelMap map = good;
        edit(map);
        return map;
    };
    const double nan = std::nan("");
    const struct
    {
        std::string path;
        CLabelMap map;
        const char* expected;
    } refusals[] = {
        {folder.file("map.img"), good, "ends in .nii or .nii.gz"},
        {folder.file("map.nii.zip"), good, "ends in .nii or .nii.gz"},
        {target, changed([](CLabelMap& m) { m.labels.pop_back(); }), "holds 23 labels for 24 voxels"},
        {target, changed([](CLabelMap& m) { m.zSize = 0; m.labels.clear(); }), "4 x 3 x 0 voxels"},
        {target, changed([](CLabelMap& m) { m.xSize = 40000; }), "holds 1 to 32767"},
        {target, changed([&](CLabelMap& m) { m.dy = nan; }), "voxel sizes"},
        {target, changed([](CLabelMap& m) { m.dz = 0; }), "voxel sizes"},
        {target, changed([&](CLabelMap& m) { m.geometry.origin[1] = nan; }), "not a number"},
        {target, changed([](CLabelMap& m) { m.geometry.axes[1] = {0, 0, 0}; }), "axis 2 is not set"},
        {folder.file("missing/map.nii"), good, "folder does not exist"},
        {folderTarget, good, "the name is a folder's"},
    };
    for (const auto& refusal : refusals) {
        const std::string error = writeErrorOf(refusal.path, refusal.map);
        EXPECT_NE(error.find(refusal.expected), std::string::npos) << refusal.expected << ": " << error;
        EXPECT_NE(error.find(refusal.path), std::string::npos) << error;
    }
    EXPECT_EQ(readBytes(target), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()), 2)
        << "no temporary file left behind";
}

TEST(LabelMapFile, ReaderTakesWholeNumbersOfLabelsOnly)
{
    // Hand-made files of every stored type: values 0..65535 load as they are, anything else
    // is refused naming the first bad value and its voxel.
    const CTempFolder folder;
    const std::string path = folder.file("map.nii.gz");
    const std::array<int, 3> size = {3, 2, 2};
    const std::vector<std::uint16_t> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    auto write = [&](std::int16_t datatype, auto values, float slope = 0.0f, float intercept = 0.0f) {
        std::vector<std::uint8_t> header
            = handMadeHeader(size, datatype, static_cast<std::int16_t>(8 * sizeof(values[0])));
        setField<float>(header, SCL_SLOPE, slope);
        setField<float>(header, SCL_INTER, intercept);
        writeHandMade(path, header, values);
        return importErrorOf(path);
    };
    auto ramp = [&](auto type) {
        std::vector<decltype(type)> values(expected.begin(), expected.end());
        return values;
    };
    EXPECT_EQ(write(256, ramp(std::int8_t{})), "no error");
    EXPECT_EQ(readLabelMap(path).labels, expected);
    EXPECT_EQ(write(4, ramp(std::int16_t{}), 1.0f, 0.0f), "no error");
    EXPECT_EQ(readLabelMap(path).labels, expected);
    EXPECT_EQ(write(8, ramp(std::int32_t{}), 0.0f, 7.0f), "no error"); // slope 0: unscaled
    EXPECT_EQ(readLabelMap(path).labels, expected);
    std::vector<std::uint32_t> high(12, 65535);
    EXPECT_EQ(write(768, high), "no error");
    EXPECT_EQ(readLabelMap(path).labels, std::vector<std::uint16_t>(12, 65535));

    const struct
    {
        std::string error;
        const char* expected;
    } refusals[] = {
        {write(16, std::vector<float>(12, 1.0f)), "type FLOAT32"},
        {write(64, std::vector<double>(12, 1.0)), "type FLOAT64"},
        {write(1024, std::vector<std::int64_t>(12, 1)), "type INT64"},
        {write(8, std::vector<std::int32_t>{0, 1, 2, 3, 70000, 5, 6, 7, 8, 9, -1, 11}), "value 70000 at voxel (1, 1, 0)"},
        {write(768, std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 70000}), "value 70000 at voxel (2, 1, 1)"},
        {write(4, std::vector<std::int16_t>{0, 1, 2, 3, 4, 5, 6, -3, 8, 9, 10, 11}), "value -3 at voxel (1, 0, 1)"},
        {write(256, std::vector<std::int8_t>{-128, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), "value -128 at voxel (0, 0, 0)"},
        {write(2, std::vector<std::uint8_t>(12, 1), 2.0f), "scales its values (scl_slope 2, scl_inter 0)"},
        {write(2, std::vector<std::uint8_t>(12, 1), 1.0f, 5.0f), "scales its values (scl_slope 1, scl_inter 5)"},
    };
    for (const auto& refusal : refusals) {
        EXPECT_NE(refusal.error.find(refusal.expected), std::string::npos) << refusal.expected << ": " << refusal.error;
        EXPECT_NE(refusal.error.find(path), std::string::npos) << refusal.error;
    }

    // The scan reader's header checks hold here too: a truncated file, a damaged size.
    std::vector<std::uint8_t> header = handMadeHeader(size, 2, 8);
    writeHandMade(path, header, std::vector<std::uint8_t>(5, 1));
    EXPECT_NE(importErrorOf(path).find("ends after 5 of its 12 voxels"), std::string::npos) << importErrorOf(path);
    setField<std::int16_t>(header, DIM + 4, 0);
    writeHandMade(path, header, std::vector<std::uint8_t>(12, 1));
    EXPECT_NE(importErrorOf(path).find("dim[2] = 0"), std::string::npos) << importErrorOf(path);
}

TEST(LabelMapFile, SharedAbdomenLabelMapMatchesItsReference)
{
    const std::string path = sharedData("labels-abdomen-nifti/example_seg.nii.gz");
    const std::string scanPath = sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz");
    const std::string longScanPath = sharedData("ct-abdomen-nifti/example_ct.nii.gz");
    for (const std::string& file : {path, scanPath, longScanPath})
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << "Shared test data not found at " << file;

    const CLabelMap map = readLabelMap(path);
    EXPECT_EQ(map.xSize, 122);
    EXPECT_EQ(map.ySize, 101);
    EXPECT_EQ(map.zSize, 30);
    EXPECT_DOUBLE_EQ(map.dx, 3.0);
    EXPECT_DOUBLE_EQ(map.dy, 3.0);
    EXPECT_DOUBLE_EQ(map.dz, 3.0);
    EXPECT_TRUE(map.warnings.empty());
    EXPECT_NEAR(map.geometry.origin[0], 177.95632935, 1e-4);
    EXPECT_NEAR(map.geometry.origin[1], -11.31900024, 1e-4);
    EXPECT_NEAR(map.geometry.origin[2], 94.30175781, 1e-4);

    const std::map<int, std::size_t> expected = {
        {0, 259435}, {1, 9452},  {2, 3947},  {3, 3676},  {4, 1333},  {5, 38634}, {6, 4675},  {7, 644},
        {8, 152},    {9, 184},   {10, 259},  {11, 1312}, {13, 1},    {14, 2735}, {18, 1020}, {19, 1110},
        {20, 12993}, {30, 1868}, {31, 2139}, {32, 1783}, {33, 70},   {52, 997},  {63, 1368}, {64, 901},
        {79, 492},   {86, 7050}, {87, 6635}, {88, 410},  {89, 360},  {98, 103},  {99, 171},  {100, 213},
        {101, 210},  {102, 234}, {103, 132}, {110, 64},  {111, 147}, {112, 170}, {113, 195}, {114, 203},
        {115, 83},   {117, 2100}};
    ASSERT_EQ(expected.size(), 42u);
    std::map<int, std::size_t> counts;
    for (std::uint16_t label : map.labels)
        ++counts[label];
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(map.labels.size() - counts[0], 110225u);

    const velmora::import::CLoadedVolume scan = velmora::import::CNiftiReader().read(scanPath);
    EXPECT_EQ(reorientOnto(map, gridOf(scan)), map.labels);

    const velmora::import::CLoadedVolume longScan = velmora::import::CNiftiReader().read(longScanPath);
    try {
        reorientOnto(map, gridOf(longScan));
        ADD_FAILURE() << "a map of 30 slices was put onto a scan of 112";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("the label map is 122 x 101 x 30 voxels, the scan 122 x 101 x 112"),
                  std::string::npos)
            << error.what();
    }
}
