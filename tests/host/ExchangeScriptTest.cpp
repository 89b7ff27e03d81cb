// Label maps and models exchanged with other programs, in script mode: the files are read back
// with the byte-level NIfTI reader of the exchange tests and a plain STL parse, never with the
// product's own readers, and compared with references computed here from the scans' files.

#include "NiftiBytes.h"
#include "ScriptRun.h"

#include <gdcmAttribute.h>
#include <gdcmReader.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace velmora::exchange::test;

const std::string PLUGINS = std::string("--plugins '") + VELMORA_PLUGIN_DIR + "'";

fs::path sharedData(const std::string& name) { return fs::path(VELMORA_SHARED_DATA_DIR) / name; }

fs::path scratch(const std::string& name)
{
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "exchange" / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A NIfTI-1 file as stored: its header fields and its voxels widened to 32 bits.
struct CNifti
{
    std::array<int, 3> size{};
    std::array<float, 3> pixdim{};
    std::int16_t datatype = 0;
    std::int16_t qformCode = 0, sformCode = 0;
    std::array<std::array<float, 4>, 3> srow{};
    std::vector<std::int32_t> values;
};

CNifti readNifti(const fs::path& path)
{
    const std::vector<std::uint8_t> bytes = inflatedBytes(path.string());
    CNifti file;
    if (bytes.size() < HEADER_BYTES)
        return file;
    for (int axis = 0; axis < 3; ++axis)
    {
        file.size[axis] = fieldOf<std::int16_t>(bytes, DIM + 2 * (axis + 1));
        file.pixdim[axis] = fieldOf<float>(bytes, PIXDIM + 4 * (axis + 1));
    }
    file.datatype = fieldOf<std::int16_t>(bytes, DATATYPE);
    file.qformCode = fieldOf<std::int16_t>(bytes, QFORM_CODE);
    file.sformCode = fieldOf<std::int16_t>(bytes, SFORM_CODE);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            file.srow[row][column] = fieldOf<float>(bytes, SROW_X + 16 * row + 4 * column);
    const auto offset = static_cast<std::size_t>(fieldOf<float>(bytes, VOX_OFFSET));
    const std::size_t count = std::size_t(file.size[0]) * file.size[1] * file.size[2];
    const int width = file.datatype == 2 ? 1 : file.datatype == 4 || file.datatype == 512 ? 2 : 4;
    if (offset + count * width > bytes.size())
        return file;
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::uint8_t* at = bytes.data() + offset + i * width;
        switch (file.datatype)
        {
        case 2: file.values.push_back(at[0]); break;
        case 4: file.values.push_back(fieldOf<std::int16_t>(bytes, offset + i * 2)); break;
        case 512: file.values.push_back(fieldOf<std::uint16_t>(bytes, offset + i * 2)); break;
        default: file.values.push_back(fieldOf<std::int32_t>(bytes, offset + i * 4)); break;
        }
    }
    return file;
}

// "label N: COUNT" lines of the last "print info" of a script's output.
std::map<int, long> lastLabelCounts(const std::string& out)
{
    std::map<int, long> counts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.rfind("volume:", 0) == 0)
            counts.clear();
        int label = 0;
        long count = 0;
        if (std::sscanf(line.c_str(), "label %d: %ld", &label, &count) == 2)
            counts[label] = count;
    }
    return counts;
}

// Numbers after "KEY:" on the first line that starts with it.
std::vector<double> infoLine(const std::string& out, const std::string& key)
{
    std::istringstream lines(out);
    std::vector<double> numbers;
    for (std::string line; std::getline(lines, line);)
    {
        if (line.rfind(key + ":", 0) != 0)
            continue;
        std::istringstream values(line.substr(key.size() + 1));
        for (double value = 0; values >> value;)
            numbers.push_back(value);
        break;
    }
    return numbers;
}

// The file with axis `flip` mirrored (or, for flip 3, x and y swapped), its sform moved so
// that every voxel keeps its place in the patient.
void writeReoriented(const CNifti& source, int change, const fs::path& path)
{
    std::array<int, 3> size = source.size;
    std::array<float, 3> pixdim = source.pixdim;
    auto srow = source.srow;
    if (change == 3)
    {
        std::swap(size[0], size[1]);
        std::swap(pixdim[0], pixdim[1]);
        for (auto& row : srow)
            std::swap(row[0], row[1]);
    }
    else
    {
        for (auto& row : srow)
        {
            row[3] += row[change] * float(size[change] - 1);
            row[change] = -row[change];
        }
    }
    std::vector<std::uint8_t> values(source.values.size());
    for (int z = 0; z < size[2]; ++z)
        for (int y = 0; y < size[1]; ++y)
            for (int x = 0; x < size[0]; ++x)
            {
                std::array<int, 3> from{x, y, z};
                if (change == 3)
                    std::swap(from[0], from[1]);
                else
                    from[change] = source.size[change] - 1 - from[change];
                values[(std::size_t(z) * size[1] + y) * size[0] + x] = static_cast<std::uint8_t>(
                    source.values[(std::size_t(from[2]) * source.size[1] + from[1]) * source.size[0] + from[0]]);
            }
    std::vector<std::uint8_t> header = handMadeHeader(size, 2, 8, pixdim);
    setField<std::int16_t>(header, SFORM_CODE, 1);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            setField<float>(header, SROW_X + 16 * row + 4 * column, srow[row][column]);
    writeHandMade(path.string(), header, values);
}

} // namespace

TEST(ExchangeScriptTest, SharedScanLabelsOutAndBackInAnyOrientation)
{
    const fs::path scan = sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz");
    if (!fs::exists(scan))
        GTEST_SKIP() << "shared CT data not found at " << VELMORA_SHARED_DATA_DIR;
    const fs::path folder = scratch("roundtrip");
    const CNifti ct = readNifti(scan);
    ASSERT_EQ(ct.values.size(), std::size_t(122 * 101 * 30));

    // The thresholding's labels, from the scan's own voxels: [200, maximum) is region 1.
    const int highest = *std::max_element(ct.values.begin(), ct.values.end());
    std::vector<std::int32_t> expected;
    for (std::int32_t value : ct.values)
        expected.push_back(value >= 200 && value < highest ? 1 : 0);

    const fs::path exported = folder / "labels.nii.gz";
    std::vector<std::string> lines{"load nifti " + scan.string(), "set Parvex \"Lower Threshold\" 200",
                                   "press Parvex \"Perform Thresholding\"", "export labels " + exported.string()};
    auto result = runVelmoraScript("exchange-export", lines, PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const CNifti map = readNifti(exported);
    EXPECT_EQ(map.size, ct.size);
    EXPECT_EQ(map.pixdim, ct.pixdim);
    EXPECT_EQ(map.datatype, 2) << "labels below 256 are stored as unsigned 8-bit";
    EXPECT_EQ(map.sformCode, 1);
    EXPECT_EQ(map.qformCode, 1);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_NEAR(map.srow[row][column], ct.srow[row][column], 1e-4) << "sform row " << row << " column " << column;
    EXPECT_EQ(map.values, expected);
    ASSERT_TRUE(fs::exists(folder / "labels.txt"));

    // Read back as it is, and with each axis mirrored and with x and y swapped: the same
    // labels voxel for voxel on the scan's grid.
    lines = {};
    for (int change = -1; change <= 3; ++change)
    {
        const fs::path in = change < 0 ? exported : folder / ("changed" + std::to_string(change) + ".nii");
        if (change >= 0)
            writeReoriented(map, change, in);
        lines.push_back("load nifti " + scan.string());
        lines.push_back("import labels " + in.string());
        lines.push_back("export labels " + (folder / ("back" + std::to_string(change + 1) + ".nii")).string());
    }
    result = runVelmoraScript("exchange-import", lines, PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (int change = -1; change <= 3; ++change)
        EXPECT_EQ(readNifti(folder / ("back" + std::to_string(change + 1) + ".nii")).values, expected) << "change " << change;
}

TEST(ExchangeScriptTest, SharedLabelMapFitsItsScanOnlyAndUndoes)
{
    const fs::path labels = sharedData("labels-abdomen-nifti/example_seg.nii.gz");
    if (!fs::exists(labels))
        GTEST_SKIP() << "shared label map not found at " << VELMORA_SHARED_DATA_DIR;
    const std::map<int, long> readme{{1, 9452}, {2, 3947}, {3, 3676}, {4, 1333}, {5, 38634}, {6, 4675}, {7, 644},
                                     {8, 152}, {9, 184}, {10, 259}, {11, 1312}, {13, 1}, {14, 2735}, {18, 1020},
                                     {19, 1110}, {20, 12993}, {30, 1868}, {31, 2139}, {32, 1783}, {33, 70}, {52, 997},
                                     {63, 1368}, {64, 901}, {79, 492}, {86, 7050}, {87, 6635}, {88, 410}, {89, 360},
                                     {98, 103}, {99, 171}, {100, 213}, {101, 210}, {102, 234}, {103, 132}, {110, 64},
                                     {111, 147}, {112, 170}, {113, 195}, {114, 203}, {115, 83}, {117, 2100}};
    const std::string small = sharedData("ct-abdomen-nifti/example_ct_sm.nii.gz").string();
    const std::string large = sharedData("ct-abdomen-nifti/example_ct.nii.gz").string();
    // The refused import goes through the File menu, whose error is a message: the script
    // goes on and shows that nothing changed.
    auto result = runVelmoraScript("exchange-shared-map",
                                   {"load nifti " + small, "import labels " + labels.string(), "print info", "undo",
                                    "print info", "redo", "print info", "load nifti " + large,
                                    "set Parvex \"Lower Threshold\" 300", "press Parvex \"Perform Thresholding\"",
                                    "answer file " + labels.string(), "menu File \"Import Segmentation...\"", "print info",
                                    "undo", "print info"},
                                   PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::map<int, long>> blocks;
    std::istringstream out(result.out);
    std::string block;
    for (std::string line; std::getline(out, line);)
    {
        if (line.rfind("volume:", 0) == 0 && !block.empty())
        {
            blocks.push_back(lastLabelCounts(block));
            block.clear();
        }
        block += line + "\n";
    }
    blocks.push_back(lastLabelCounts(block));
    ASSERT_EQ(blocks.size(), 5u) << result.out;
    EXPECT_EQ(blocks[0], readme);
    EXPECT_TRUE(blocks[1].empty()) << "undo brings back the empty segmentation";
    EXPECT_EQ(blocks[2], readme);
    // The table grows to cover label 117 and undo takes it back with the labels.
    std::vector<double> tables;
    std::istringstream again(result.out);
    for (std::string line; std::getline(again, line);)
        if (line.rfind("regions: ", 0) == 0)
            tables.push_back(std::stod(line.substr(9)));
    EXPECT_EQ(tables, (std::vector<double>{118, 10, 118, 10, 10}));
    // On the 112-slice scan: refused with what differs; the thresholding stays and is what
    // undo takes back.
    EXPECT_NE(result.err.find("message: The label map does not fit the scan"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("122 x 101 x 112"), std::string::npos) << result.err;
    ASSERT_EQ(blocks[3].size(), 1u);
    EXPECT_GT(blocks[3].at(1), 10000);
    EXPECT_TRUE(blocks[4].empty());
}

TEST(ExchangeScriptTest, DicomSeriesPlacedByItsFirstSlice)
{
    const fs::path series = sharedData("ct-abdomen-dicom-j2k");
    if (!fs::exists(series))
        GTEST_SKIP() << "shared DICOM series not found at " << VELMORA_SHARED_DATA_DIR;
    // The slice lowest along the normal of the files' own orientation, read with GDCM's plain
    // reader here.
    std::array<double, 3> first{};
    std::array<double, 6> orientation{};
    double lowest = HUGE_VAL;
    for (const fs::directory_entry& entry : fs::directory_iterator(series))
    {
        gdcm::Reader reader;
        reader.SetFileName(entry.path().c_str());
        if (!reader.Read())
            continue;
        gdcm::Attribute<0x0020, 0x0032> position;
        gdcm::Attribute<0x0020, 0x0037> cosines;
        position.Set(reader.GetFile().GetDataSet());
        cosines.Set(reader.GetFile().GetDataSet());
        const double* o = cosines.GetValues();
        const double normal[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
        const double along = position[0] * normal[0] + position[1] * normal[1] + position[2] * normal[2];
        if (along < lowest)
        {
            lowest = along;
            first = {position[0], position[1], position[2]};
            std::copy(o, o + 6, orientation.begin());
        }
    }
    ASSERT_LT(lowest, HUGE_VAL);
    const fs::path folder = scratch("dicom");
    auto result = runVelmoraScript(
        "exchange-dicom", {"load dicom " + series.string(), "print info", "export labels " + (folder / "series.nii").string()},
        PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<double> origin = infoLine(result.out, "origin");
    const std::vector<double> directions = infoLine(result.out, "directions");
    ASSERT_EQ(origin.size(), 3u) << result.out;
    ASSERT_EQ(directions.size(), 9u) << result.out;
    const double normal[3] = {orientation[1] * orientation[5] - orientation[2] * orientation[4],
                              orientation[2] * orientation[3] - orientation[0] * orientation[5],
                              orientation[0] * orientation[4] - orientation[1] * orientation[3]};
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_NEAR(origin[c], first[c], 1e-3) << c;
        EXPECT_NEAR(directions[c], orientation[c], 1e-5) << "row direction " << c;
        EXPECT_NEAR(directions[3 + c], orientation[3 + c], 1e-5) << "column direction " << c;
        EXPECT_NEAR(directions[6 + c], normal[c], 1e-5) << "slice direction " << c;
    }
    // The label map's affine: the LPS directions times the voxel sizes, turned to RAS.
    const CNifti map = readNifti(folder / "series.nii");
    const std::vector<double> spacing = infoLine(result.out, "spacing");
    ASSERT_EQ(spacing.size(), 3u);
    for (int row = 0; row < 3; ++row)
    {
        const double sign = row < 2 ? -1.0 : 1.0;
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(map.srow[row][axis], sign * directions[3 * axis + row] * spacing[axis], 1e-4) << row << " " << axis;
        EXPECT_NEAR(map.srow[row][3], sign * origin[row], 1e-3) << row;
    }
}

TEST(ExchangeScriptTest, ModelInPatientCoordinatesCoversTheRegionsVoxels)
{
    // A box of bone in a scan whose axes run along the patient's -y, z and x (a rotation),
    // with voxel sizes 0.8, 1.5 and 2 mm and an offset: the model's bounding box is the box's
    // voxels, half a voxel beyond their centres, in patient space.
    const std::array<int, 3> size{20, 16, 12};
    const std::array<float, 3> spacing{0.8f, 1.5f, 2.0f};
    const std::array<int, 3> low{4, 3, 2}, high{13, 11, 8};
    std::vector<std::int16_t> voxels(std::size_t(size[0]) * size[1] * size[2], -1000);
    for (int z = low[2]; z <= high[2]; ++z)
        for (int y = low[1]; y <= high[1]; ++y)
            for (int x = low[0]; x <= high[0]; ++x)
                voxels[(std::size_t(z) * size[1] + y) * size[0] + x] = 1000;
    // (The thresholding's upper bound, the data's maximum, is not included: one brighter
    // voxel far from the box.)
    voxels[0] = 1001;
    // RAS columns of the voxel axes (LPS: x and y negated) and the RAS offset.
    const double lpsAxes[3][3] = {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}};
    const double lpsOrigin[3] = {-31.5, 12.25, 80.0};
    std::vector<std::uint8_t> header = handMadeHeader(size, 4, 16, spacing);
    setField<std::int16_t>(header, SFORM_CODE, 1);
    for (int row = 0; row < 3; ++row)
    {
        const double sign = row < 2 ? -1.0 : 1.0;
        for (int axis = 0; axis < 3; ++axis)
            setField<float>(header, SROW_X + 16 * row + 4 * axis, float(sign * lpsAxes[axis][row] * spacing[axis]));
        setField<float>(header, SROW_X + 16 * row + 12, float(sign * lpsOrigin[row]));
    }
    const fs::path folder = scratch("model");
    writeHandMade((folder / "box.nii").string(), header, voxels);
    auto result = runVelmoraScript("exchange-model",
                                   {"load nifti " + (folder / "box.nii").string(), "set Parvex \"Lower Threshold\" 0",
                                    "press Parvex \"Perform Thresholding\"", "press Ostrum \"Run MC\"",
                                    "export model " + (folder / "box.stl").string()},
                                   PLUGINS);
    ASSERT_EQ(result.exitCode, 0) << result.err;

    std::ifstream stl(folder / "box.stl", std::ios::binary);
    char head[84];
    ASSERT_TRUE(stl.read(head, 84));
    std::uint32_t triangles = 0;
    std::memcpy(&triangles, head + 80, 4);
    ASSERT_GT(triangles, 0u);
    std::array<double, 3> lowest{HUGE_VAL, HUGE_VAL, HUGE_VAL}, highest{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::uint32_t t = 0; t < triangles; ++t)
    {
        float record[12];
        char attribute[2];
        ASSERT_TRUE(stl.read(reinterpret_cast<char*>(record), sizeof record) && stl.read(attribute, 2));
        for (int corner = 1; corner <= 3; ++corner)
            for (int c = 0; c < 3; ++c)
            {
                lowest[c] = std::min(lowest[c], double(record[3 * corner + c]));
                highest[c] = std::max(highest[c], double(record[3 * corner + c]));
            }
    }
    // Expected: the box's outer faces, voxel index low - 0.5 to high + 0.5, placed by hand.
    std::array<double, 3> wantLow{HUGE_VAL, HUGE_VAL, HUGE_VAL}, wantHigh{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int corner = 0; corner < 8; ++corner)
    {
        double index[3];
        for (int axis = 0; axis < 3; ++axis)
            index[axis] = (corner >> axis & 1) ? high[axis] + 0.5 : low[axis] - 0.5;
        for (int c = 0; c < 3; ++c)
        {
            double p = lpsOrigin[c];
            for (int axis = 0; axis < 3; ++axis)
                p += lpsAxes[axis][c] * index[axis] * spacing[axis];
            wantLow[c] = std::min(wantLow[c], p);
            wantHigh[c] = std::max(wantHigh[c], p);
        }
    }
    // Within a tenth of the smallest voxel size: a shift of half a voxel fails.
    for (int c = 0; c < 3; ++c)
    {
        EXPECT_NEAR(lowest[c], wantLow[c], 0.08) << "axis " << c;
        EXPECT_NEAR(highest[c], wantHigh[c], 0.08) << "axis " << c;
    }
}
