#include "CTempFolder.h"

#include "host/exchange/LabelMapFile.h"
#include "host/exchange/Reorientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

using namespace velmora::exchange;
using velmora::import::test::CTempFolder;

namespace {

// A scan of distinct sizes and voxel sizes along its three axes, obliquely placed.
CGrid obliqueScan()
{
    CGrid scan;
    scan.size = {5, 4, 3};
    scan.spacing = {0.7, 0.9, 1.3};
    const double c = std::cos(0.4), s = std::sin(0.4);
    scan.geometry.axes = {{{c, s, 0.0}, {-s * 0.6, c * 0.6, 0.8}, {s * 0.8, -c * 0.8, 0.6}}};
    scan.geometry.origin = {10.0, -20.0, 30.0};
    return scan;
}

std::vector<std::uint16_t> randomLabels(const CGrid& grid)
{
    std::mt19937 random(11);
    std::vector<std::uint16_t> labels(static_cast<std::size_t>(grid.size[0] * grid.size[1] * grid.size[2]));
    for (std::uint16_t& label : labels)
        label = static_cast<std::uint16_t>(random() % 1000);
    return labels;
}

// The map whose axis i runs along scan axis order[i], reversed where flip[i]: its labels
// copied voxel by voxel from `labels` on the scan's grid.
CLabelMap mapOnto(const CGrid& scan, const std::vector<std::uint16_t>& labels, std::array<int, 3> order,
                  std::array<bool, 3> flip)
{
    CLabelMap map;
    int* sizes[3] = {&map.xSize, &map.ySize, &map.zSize};
    double* spacings[3] = {&map.dx, &map.dy, &map.dz};
    std::array<double, 3> corner{0, 0, 0};
    for (int axis = 0; axis < 3; ++axis) {
        const int along = order[axis];
        *sizes[axis] = scan.size[along];
        *spacings[axis] = scan.spacing[along];
        for (int c = 0; c < 3; ++c)
            map.geometry.axes[axis][c] = scan.geometry.axes[along][c] * (flip[axis] ? -1.0 : 1.0);
        if (flip[axis])
            corner[along] = scan.size[along] - 1;
    }
    map.geometry.origin = scan.geometry.toPatient(corner, scan.spacing);
    for (int z = 0; z < map.zSize; ++z)
        for (int y = 0; y < map.ySize; ++y)
            for (int x = 0; x < map.xSize; ++x) {
                const int index[3] = {x, y, z};
                int onScan[3];
                for (int axis = 0; axis < 3; ++axis)
                    onScan[order[axis]] = flip[axis] ? scan.size[order[axis]] - 1 - index[axis] : index[axis];
                map.labels.push_back(labels[static_cast<std::size_t>((onScan[2] * scan.size[1] + onScan[1]) * scan.size[0] + onScan[0])]);
            }
    return map;
}

std::string errorOf(const CLabelMap& map, const CGrid& scan)
{
    try {
        reorientOnto(map, scan);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(Reorientation, EveryAxisOrderAndDirectionComesBackVoxelForVoxel)
{
    // All 6 axis orders times 8 combinations of reversed axes, through a file and back.
    const CTempFolder folder;
    const CGrid scan = obliqueScan();
    const std::vector<std::uint16_t> labels = randomLabels(scan);
    std::array<int, 3> order = {0, 1, 2};
    int tried = 0;
    do {
        for (int flips = 0; flips < 8; ++flips) {
            const std::array<bool, 3> flip = {(flips & 1) != 0, (flips & 2) != 0, (flips & 4) != 0};
            SCOPED_TRACE(testing::Message() << "order " << order[0] << order[1] << order[2] << ", flips " << flips);
            const CLabelMap map = mapOnto(scan, labels, order, flip);
            if (order != std::array<int, 3>{0, 1, 2} || flips != 0) {
                ASSERT_NE(map.labels, labels); // the test really moves voxels
            }
            const std::string path = folder.file("map.nii.gz");
            writeLabelMap(path, map);
            const CLabelMap back = readLabelMap(path);
            ASSERT_EQ(back.labels, map.labels);
            EXPECT_EQ(reorientOnto(back, scan), labels);
            ++tried;
        }
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(tried, 48);
}

TEST(Reorientation, MismatchedGridsAreRefusedWithWhatDiffers)
{
    const CGrid scan = obliqueScan();
    const std::vector<std::uint16_t> labels = randomLabels(scan);
    // Map axes: y reversed, x and z swapped.
    const CLabelMap base = mapOnto(scan, labels, {2, 1, 0}, {false, true, false});
    ASSERT_EQ(reorientOnto(base, scan), labels);

    // A shift of `voxels` along scan axis `axis`.
    auto shifted = [&](int axis, double voxels) {
        CLabelMap map = base;
        for (int c = 0; c < 3; ++c)
            map.geometry.origin[c] += scan.geometry.axes[axis][c] * voxels * scan.spacing[axis];
        return map;
    };
    auto changed = [&](auto edit) {
        CLabelMap map = base;
        edit(map);
        return map;
    };
    // The map turned by `degrees` about scan axis 2 (its own x).
    auto turned = [&](double degrees) {
        CLabelMap map = base;
        const double angle = degrees * M_PI / 180.0;
        const auto& a = scan.geometry.axes[0];
        const auto& b = scan.geometry.axes[1];
        for (int axis = 1; axis < 3; ++axis) {
            const auto v = map.geometry.axes[axis];
            const double along0 = v[0] * a[0] + v[1] * a[1] + v[2] * a[2];
            const double along1 = v[0] * b[0] + v[1] * b[1] + v[2] * b[2];
            for (int c = 0; c < 3; ++c)
                map.geometry.axes[axis][c] = (along0 * std::cos(angle) - along1 * std::sin(angle)) * a[c]
                                             + (along0 * std::sin(angle) + along1 * std::cos(angle)) * b[c];
        }
        return map;
    };
    const struct
    {
        const char* what;
        CLabelMap map;
        const char* expected; // nullptr: accepted
    } cases[] = {
        {"0.4 voxel along x", shifted(0, 0.4), nullptr},
        {"0.45 voxel along z", shifted(2, -0.45), nullptr},
        {"0.6 voxel along x", shifted(0, 0.6), "its origin lies 0.42 mm from the scan's"},
        {"0.6 voxel along z", shifted(2, -0.6), "its origin lies 0.78 mm from the scan's"},
        {"one slice less",
         changed([](CLabelMap& m) {
             m.xSize = 2;
             m.labels.resize(2 * 4 * 5);
         }),
         "the label map is 2 x 4 x 5 voxels (5 x 4 x 2 along the scan's axes), the scan 5 x 4 x 3"},
        {"sizes of another grid", changed([](CLabelMap& m) { m.xSize = 5, m.zSize = 3; }),
         "the label map is 5 x 4 x 3 voxels (3 x 4 x 5 along the scan's axes), the scan 5 x 4 x 3"},
        {"voxels 1 % larger", changed([](CLabelMap& m) { m.dy *= 1.01; }), "its voxels measure 1.3 x 0.909 x 0.7 mm, the scan's 0.7 x 0.9 x 1.3 mm"},
        {"voxels 0.05 % larger", changed([](CLabelMap& m) { m.dy *= 1.0005; }), nullptr},
        {"turned by 0.5 degrees", turned(0.5), nullptr},
        {"turned by 5 degrees", turned(5.0), "its axes are not parallel to the scan's"},
        {"two axes along one", changed([](CLabelMap& m) { m.geometry.axes[2] = m.geometry.axes[0]; }), "not parallel"},
        {"labels missing", changed([](CLabelMap& m) { m.labels.pop_back(); }), "holds 59 labels for 60 voxels"},
        {"no voxel size", changed([](CLabelMap& m) { m.dz = 0; }), "no valid voxel sizes"},
    };
    for (const auto& c : cases) {
        const std::string error = errorOf(c.map, scan);
        if (c.expected == nullptr) {
            EXPECT_EQ(error, "no error") << c.what;
            if (error == "no error") {
                EXPECT_EQ(reorientOnto(c.map, scan), labels) << c.what;
            }
        } else {
            EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
        }
    }
}
