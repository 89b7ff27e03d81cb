// The GUI-free parts of the scene views: slice placement and the pixel/voxel mapping, the
// density window, slice images with regions, nearest scaling, stroke paths and the mesh
// geometry of the 3D view.

#include "data/CRegionColoring.h"
#include "host/views/CDensityWindow.h"
#include "host/views/CMeshGeometry.h"
#include "host/views/CRegionOverlay.h"
#include "host/views/CSliceGeometry.h"
#include "host/views/CSliceRenderer.h"
#include "host/views/CStrokePath.h"
#include "Octahedron.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace velmora::views;

namespace {

using tPixel = std::array<int, 3>;

tPixel pixelOf(const CSliceRenderer::CImage& image, int x, int y)
{
    const std::uint8_t* p = image.pixel(x, y);
    return {p[0], p[1], p[2]};
}

// Grey equals the density for densities 0..255.
std::vector<std::uint8_t> identityGrey()
{
    std::vector<std::uint8_t> table(65536);
    for (int i = 0; i < 65536; ++i)
        table[i] = static_cast<std::uint8_t>(std::clamp(i - 32768, 0, 255));
    return table;
}

} // namespace

TEST(SliceGeometry, KeepsTheAspectOfNonUnitSpacingAndCentresTheSlice)
{
    // 20 x 10 x 5 voxels of 0.5 x 1 x 2 mm: every slice is 10 mm square.
    const std::array<int, 3> size{20, 10, 5};
    const std::array<double, 3> spacing{0.5, 1.0, 2.0};
    for (int axis : {AXIS_XY, AXIS_XZ, AXIS_YZ})
    {
        const CSliceGeometry geometry(axis, size, spacing, 400, 300);
        EXPECT_EQ(geometry.getWidth(), 300) << axis;
        EXPECT_EQ(geometry.getHeight(), 300) << axis;
        EXPECT_EQ(geometry.getLeft(), 50) << axis;
        EXPECT_EQ(geometry.getTop(), 0) << axis;
    }
    const CSliceGeometry xy(AXIS_XY, size, spacing, 400, 300);
    EXPECT_EQ(xy.getColumns(), 20);
    EXPECT_EQ(xy.getRows(), 10);
    // One voxel is 15 x 30 pixels; voxel centres sit in the middle of their pixels.
    EXPECT_EQ(xy.voxelToPixel(0, 0), (std::array<double, 2>{57.5, 15.0}));
    EXPECT_EQ(xy.voxelToPixel(19, 9), (std::array<double, 2>{342.5, 285.0}));

    // A wide, low view: limited by its height.
    const CSliceGeometry low(AXIS_XY, size, spacing, 400, 100);
    EXPECT_EQ(low.getWidth(), 100);
    EXPECT_EQ(low.getHeight(), 100);
    EXPECT_EQ(low.getLeft(), 150);
}

TEST(SliceGeometry, PixelsMapToVoxelsWithCentresAtWholeNumbers)
{
    const CSliceGeometry xy(AXIS_XY, {20, 10, 5}, {0.5, 1.0, 2.0}, 400, 300);
    // The first pixel column of the slice is inside voxel 0, the one left of it is not.
    auto inside = xy.pixelToVoxel(50, 0);
    EXPECT_TRUE(xy.contains(inside[0], inside[1]));
    EXPECT_EQ(static_cast<int>(inside[0] + 0.5), 0);
    auto outside = xy.pixelToVoxel(49, 100);
    EXPECT_FALSE(xy.contains(outside[0], outside[1]));
    auto last = xy.pixelToVoxel(349, 299);
    EXPECT_TRUE(xy.contains(last[0], last[1]));
    EXPECT_EQ(static_cast<int>(last[0] + 0.5), 19);
    EXPECT_EQ(static_cast<int>(last[1] + 0.5), 9);
    auto beyond = xy.pixelToVoxel(350, 150);
    EXPECT_FALSE(xy.contains(beyond[0], beyond[1]));

    // Every voxel centre, on every axis, maps to a pixel that maps back into the voxel.
    const std::array<int, 3> size{7, 5, 3};
    for (int axis : {AXIS_XY, AXIS_XZ, AXIS_YZ})
    {
        const CSliceGeometry geometry(axis, size, {0.7, 1.3, 2.5}, 333, 251);
        for (int v = 0; v < geometry.getRows(); ++v)
        {
            for (int u = 0; u < geometry.getColumns(); ++u)
            {
                const auto pixel = geometry.voxelToPixel(u, v);
                const auto back = geometry.pixelToVoxel(int(std::floor(pixel[0])), int(std::floor(pixel[1])));
                ASSERT_TRUE(geometry.contains(back[0], back[1]));
                EXPECT_EQ(static_cast<int>(back[0] + 0.5), u) << axis;
                EXPECT_EQ(static_cast<int>(back[1] + 0.5), v) << axis;
            }
        }
    }
}

TEST(SliceGeometry, SideViewsShowZUpwardsAndNameTheVolumeAxes)
{
    const CSliceGeometry xz(AXIS_XZ, {20, 10, 5}, {0.5, 1.0, 2.0}, 400, 300);
    EXPECT_TRUE(xz.isFlipped());
    // z = 0 is the bottom row of voxels (rows of 60 pixels), z = 4 the top one.
    EXPECT_DOUBLE_EQ(xz.voxelToPixel(0, 0)[1], 270.0);
    EXPECT_DOUBLE_EQ(xz.voxelToPixel(0, 4)[1], 30.0);
    EXPECT_EQ(static_cast<int>(xz.pixelToVoxel(200, 5)[1] + 0.5), 4);

    const CSliceGeometry yz(AXIS_YZ, {20, 10, 5}, {0.5, 1.0, 2.0}, 400, 300);
    EXPECT_EQ(yz.getColumns(), 10);
    EXPECT_EQ(yz.getRows(), 5);
    EXPECT_EQ(yz.toVolume(3, 2, 7), (std::array<float, 3>{7, 3, 2}));
    EXPECT_EQ(xz.toVolume(3, 2, 7), (std::array<float, 3>{3, 7, 2}));
    EXPECT_EQ(yz.toSlice({7, 3, 2}), (std::array<double, 2>{3, 2}));

    const CSliceGeometry empty(AXIS_XY, {0, 0, 0}, {1, 1, 1}, 400, 300);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.contains(0, 0));
}

TEST(DensityWindow, MapsLevelAndWidthToGreyWithPresets)
{
    const CDensityWindow soft;
    EXPECT_EQ(soft.getLevel(), 40);
    EXPECT_EQ(soft.getWidth(), 400);
    EXPECT_EQ(soft.findPreset(), 0);
    EXPECT_EQ(soft.toGrey(-160), 0);
    EXPECT_EQ(soft.toGrey(-1000), 0);
    EXPECT_EQ(soft.toGrey(40), 128);
    EXPECT_EQ(soft.toGrey(240), 255);
    EXPECT_EQ(soft.toGrey(3000), 255);

    const auto& presets = CDensityWindow::presets();
    ASSERT_GE(presets.size(), 2u);
    EXPECT_EQ(std::string(presets[1].name), "Bone");
    const CDensityWindow bone(presets[1].level, presets[1].width);
    EXPECT_EQ(bone.findPreset(), 1);
    EXPECT_EQ(bone.toGrey(40), 77); // soft tissue is dark grey in the bone window
    EXPECT_EQ(bone.toGrey(1300), 255);

    EXPECT_EQ(CDensityWindow(0, 0).getWidth(), 1);
    EXPECT_EQ(CDensityWindow(12, 34).findPreset(), -1);
    const auto table = bone.makeTable();
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_EQ(table[32768 + 40], 77);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[65535], 255);
}

class SliceRendererTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // density(x, y, z) = 100 z + 10 y + x, with a margin so that rows are padded.
        for (int z = 0; z < 2; ++z)
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    density.at(x, y, z) = static_cast<std::int16_t>(100 * z + 10 * y + x);
        labels.fill(0);
        labels.at(1, 2, 1) = 1;  // Region 1: 255, 128, 128, alpha 128
        labels.at(2, 2, 1) = 2;  // made invisible below
        labels.at(3, 2, 1) = 50; // beyond the table: fallback grey 128, alpha 128
        coloring.setVisible(2, false);
    }

    kvo::img::CVolume<std::int16_t> density{4, 3, 2, 1};
    kvo::img::CVolume<std::uint16_t> labels{4, 3, 2, 0};
    data::CRegionColoring coloring;
    std::vector<std::uint8_t> grey = identityGrey();
};

TEST_F(SliceRendererTest, EachAxisReadsItsSliceInViewOrientation)
{
    const CRegionOverlay none;
    const auto xy = CSliceRenderer::render(AXIS_XY, 1, density, nullptr, grey, none);
    ASSERT_EQ(xy.width, 4);
    ASSERT_EQ(xy.height, 3);
    EXPECT_EQ(pixelOf(xy, 3, 2), (tPixel{123, 123, 123}));
    EXPECT_EQ(pixelOf(xy, 0, 0), (tPixel{100, 100, 100}));

    const auto xz = CSliceRenderer::render(AXIS_XZ, 2, density, nullptr, grey, none);
    ASSERT_EQ(xz.width, 4);
    ASSERT_EQ(xz.height, 2);
    EXPECT_EQ(pixelOf(xz, 1, 0), (tPixel{121, 121, 121})); // top row: z = 1
    EXPECT_EQ(pixelOf(xz, 1, 1), (tPixel{21, 21, 21}));

    const auto yz = CSliceRenderer::render(AXIS_YZ, 3, density, nullptr, grey, none);
    ASSERT_EQ(yz.width, 3);
    ASSERT_EQ(yz.height, 2);
    EXPECT_EQ(pixelOf(yz, 2, 0), (tPixel{123, 123, 123}));
    EXPECT_EQ(pixelOf(yz, 0, 1), (tPixel{3, 3, 3}));

    EXPECT_TRUE(CSliceRenderer::render(AXIS_XY, 2, density, nullptr, grey, none).isEmpty());
    EXPECT_TRUE(CSliceRenderer::render(AXIS_YZ, -1, density, nullptr, grey, none).isEmpty());
}

TEST_F(SliceRendererTest, VisibleRegionsBlendTheirColourOverTheDensity)
{
    const CRegionOverlay overlay(coloring, true);
    EXPECT_FALSE(overlay.isEmpty());
    const auto xy = CSliceRenderer::render(AXIS_XY, 1, density, &labels, grey, overlay);
    EXPECT_EQ(pixelOf(xy, 1, 2), (tPixel{188, 125, 125})); // grey 121 under region 1
    EXPECT_EQ(pixelOf(xy, 2, 2), (tPixel{122, 122, 122})); // invisible region
    EXPECT_EQ(pixelOf(xy, 3, 2), (tPixel{126, 126, 126})); // fallback colour
    EXPECT_EQ(pixelOf(xy, 0, 2), (tPixel{120, 120, 120})); // label 0 is transparent
    // The same voxel seen from the side.
    const auto yz = CSliceRenderer::render(AXIS_YZ, 1, density, &labels, grey, overlay);
    EXPECT_EQ(pixelOf(yz, 2, 0), (tPixel{188, 125, 125}));
    const auto xz = CSliceRenderer::render(AXIS_XZ, 2, density, &labels, grey, overlay);
    EXPECT_EQ(pixelOf(xz, 1, 0), (tPixel{188, 125, 125}));

    // Display flag off: density only.
    const CRegionOverlay hidden(coloring, false);
    EXPECT_TRUE(hidden.isEmpty());
    EXPECT_EQ(pixelOf(CSliceRenderer::render(AXIS_XY, 1, density, &labels, grey, hidden), 1, 2), (tPixel{121, 121, 121}));

    // Labels that do not match the density's size are not read.
    kvo::img::CVolume<std::uint16_t> other(3, 3, 2, 0);
    other.fill(1);
    EXPECT_EQ(pixelOf(CSliceRenderer::render(AXIS_XY, 1, density, &other, grey, overlay), 1, 2), (tPixel{121, 121, 121}));
}

TEST(SliceRenderer, NearestScalingTakesThePixelUnderEachCentre)
{
    CSliceRenderer::CImage source;
    source.width = 2;
    source.height = 2;
    source.rgb = {10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40};
    const auto scaled = CSliceRenderer::scale(source, 5, 3);
    ASSERT_EQ(scaled.width, 5);
    ASSERT_EQ(scaled.height, 3);
    const int expected[3][5] = {{10, 10, 20, 20, 20}, {30, 30, 40, 40, 40}, {30, 30, 40, 40, 40}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(scaled.pixel(x, y)[0], expected[y][x]) << x << "," << y;
    EXPECT_TRUE(CSliceRenderer::scale(source, 0, 3).isEmpty());
}

TEST(StrokePath, SnapsToVoxelCentresAndDropsRepeatsAndOutsidePoints)
{
    CStrokePath path({10, 10, 5});
    EXPECT_TRUE(path.isEmpty());
    EXPECT_TRUE(path.add({2.4f, 3.6f, 1.0f}));
    EXPECT_FALSE(path.add({2.45f, 3.55f, 1.0f}));  // same voxel
    EXPECT_TRUE(path.add({-0.4f, 0.0f, 0.0f}));    // still voxel 0
    EXPECT_FALSE(path.add({-0.6f, 0.0f, 0.0f}));   // outside
    EXPECT_TRUE(path.add({9.49f, 0.0f, 4.0f}));
    EXPECT_FALSE(path.add({9.5f, 0.0f, 4.0f}));    // outside
    EXPECT_FALSE(path.add({1.0f, 1.0f, 5.0f}));    // beyond the last slice
    EXPECT_FALSE(path.add({std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f}));
    EXPECT_TRUE(path.add({2.0f, 4.0f, 1.0f}));     // revisiting is fine once left
    const osg::Vec3Array& points = *path.getPoints();
    ASSERT_EQ(points.size(), 4u);
    EXPECT_EQ(points[0], osg::Vec3f(2, 4, 1));
    EXPECT_EQ(points[1], osg::Vec3f(0, 0, 0));
    EXPECT_EQ(points[2], osg::Vec3f(9, 0, 4));
    EXPECT_EQ(points[3], osg::Vec3f(2, 4, 1));
}

TEST(MeshGeometry, CopiesVerticesTrianglesAndOutwardNormals)
{
    const auto mesh = makeOctahedron(10, 20, 30, 5);
    const osg::Vec4 colour(0.5f, 0.6f, 0.7f, 1.0f);
    osg::ref_ptr<osg::Geometry> geometry = CMeshGeometry::build(*mesh, colour);
    ASSERT_TRUE(geometry.valid());
    const auto* vertices = dynamic_cast<const osg::Vec3Array*>(geometry->getVertexArray());
    const auto* normals = dynamic_cast<const osg::Vec3Array*>(geometry->getNormalArray());
    ASSERT_NE(vertices, nullptr);
    ASSERT_NE(normals, nullptr);
    EXPECT_EQ(vertices->size(), 6u); // shared, not one per corner
    ASSERT_EQ(normals->size(), 6u);
    ASSERT_EQ(geometry->getNumPrimitiveSets(), 1u);
    EXPECT_EQ(geometry->getPrimitiveSet(0)->getNumIndices(), 24u);
    const osg::Vec3 centre(10, 20, 30);
    for (std::size_t i = 0; i < vertices->size(); ++i)
    {
        osg::Vec3 outward = (*vertices)[i] - centre;
        outward.normalize();
        EXPECT_NEAR(((*normals)[i] - outward).length(), 0.0, 1e-5) << i;
    }
    // Triangle winding is kept: the first triangle's face normal points out.
    const auto* indices = dynamic_cast<const osg::DrawElementsUInt*>(geometry->getPrimitiveSet(0));
    ASSERT_NE(indices, nullptr);
    const osg::Vec3 a = (*vertices)[(*indices)[0]], b = (*vertices)[(*indices)[1]], c = (*vertices)[(*indices)[2]];
    EXPECT_GT(((b - a) ^ (c - a)) * ((a + b + c) / 3.0f - centre), 0.0f);
    const auto* colours = dynamic_cast<const osg::Vec4Array*>(geometry->getColorArray());
    ASSERT_NE(colours, nullptr);
    EXPECT_EQ(colours->front(), colour);

    vctl::MCTriS empty;
    EXPECT_FALSE(CMeshGeometry::build(empty, colour).valid());
}
