// The scene views in the real main window, under Xvfb: picking, strokes, slice moves
// through entry 21, and screenshots of regions over the phantom and of the 3D model.

#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/COrthoSliceXY.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CVelmoraHost.h"
#include "host/import/CPhantomSource.h"
#include "host/views/CDensityWindow.h"
#include "host/views/CEntryCallback.h"
#include "host/views/CModelView.h"
#include "host/views/COrthoView.h"
#include "host/views/CSceneViews.h"
#include "Octahedron.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/image.h>
#include <wx/utils.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

using namespace velmora;
using namespace velmora::views;

namespace {

constexpr int REQUEST = 3;

struct CPick
{
    float x, y, z;
};

class SceneViewsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
            wxImage::AddHandler(new wxPNGHandler);
        host = std::make_unique<CVelmoraHost>();
        CHostData::registerObjects(host->getFactory());
        data = std::make_unique<CHostData>(host->getStorage());
        data->createEntries();
        previousTop = wxTheApp->GetTopWindow();
        frame = new CMainFrame(*host, *data);
        wxTheApp->SetTopWindow(frame);
        frame->Show();
        frame->Raise();
        // 40 x 30 x 20 voxels of 0.8 x 0.5 x 2 mm.
        data->loadDataSet(import::CPhantomSource(40, 30, 20, 0.8, 0.5, 2.0).generate());
        settle();
    }
    void TearDown() override
    {
        delete frame;
        wxTheApp->SetTopWindow(previousTop);
        data.reset();
        host->shutdown();
        host.reset();
    }

    static void settle()
    {
        for (int i = 0; i < 10; ++i)
        {
            wxTheApp->ProcessPendingEvents();
            wxTheApp->Yield(true);
            wxMilliSleep(5);
        }
    }

    CSceneViews& scene() { return frame->getSceneViews(); }
    COrthoView& view(int axis) { return *scene().getOrthoView(axis); }
    data::CDataStorage& storage() { return host->getStorage(); }
    CAppSceneHub& hub() { return host->getSceneHub(); }

    //! The view pixel at the centre of slice point (u, v).
    static wxPoint pixelOf(const COrthoView& target, double u, double v)
    {
        const auto pixel = target.getGeometry().voxelToPixel(u, v);
        return wxPoint(static_cast<int>(std::floor(pixel[0])), static_cast<int>(std::floor(pixel[1])));
    }

    static void mouse(wxWindow& target, wxEventType type, const wxPoint& at, bool leftDown)
    {
        wxMouseEvent event(type);
        event.SetEventObject(&target);
        event.SetPosition(at);
        event.m_leftDown = leftDown;
        if (type == wxEVT_MOUSEWHEEL)
        {
            event.m_wheelRotation = 120;
            event.m_wheelDelta = 120;
        }
        target.GetEventHandler()->ProcessEvent(event);
    }
    static void click(wxWindow& target, const wxPoint& at)
    {
        mouse(target, wxEVT_LEFT_DOWN, at, true);
        mouse(target, wxEVT_LEFT_UP, at, false);
    }

    void setDrawing(int mode, float red, float green, float blue, float width)
    {
        data::CObjectPtr<data::CDrawingOptions> options(storage().getEntry(555, REQUEST));
        options->setDrawingMode(mode);
        options->setColor(red, green, blue, 1.0f);
        options->setWidth(width);
        storage().invalidate(options.getEntry(), 0);
    }

    int entrySliceXY() { return data::CObjectPtr<data::COrthoSliceXY>(storage().getEntry(21, REQUEST))->getPosition(); }

    std::unique_ptr<CVelmoraHost> host;
    std::unique_ptr<CHostData> data;
    CMainFrame* frame = nullptr;
    wxWindow* previousTop = nullptr;
};

} // namespace

TEST_F(SceneViewsTest, PickInPickModeEmitsVoxelCoordinatesOnceAndRestoresTheMode)
{
    ASSERT_TRUE(frame->showSlice(2, 11));
    COrthoView& xy = view(AXIS_XY);
    const CSliceGeometry geometry = xy.getGeometry();
    ASSERT_FALSE(geometry.isEmpty());
    // 32 mm by 15 mm: the slice keeps its true aspect.
    EXPECT_NEAR(double(geometry.getWidth()) / geometry.getHeight(), 32.0 / 15.0, 0.02);

    std::vector<CPick> picks;
    hub().pointPicked.connect([&](float x, float y, float z, int) { picks.push_back({x, y, z}); });
    hub().setMode(7);
    hub().setMode(CAppSceneHub::MODE_PICK_POINT);

    // A click beside the slice picks nothing and keeps waiting for a pick.
    const wxPoint beside = geometry.getTop() >= 3 ? wxPoint(geometry.getLeft() + 5, geometry.getTop() - 3)
                                                  : wxPoint(geometry.getLeft() - 3, geometry.getTop() + 5);
    ASSERT_GE(std::min(beside.x, beside.y), 0) << "the slice fills the view";
    click(xy, beside);
    EXPECT_TRUE(picks.empty());
    EXPECT_EQ(hub().mode, CAppSceneHub::MODE_PICK_POINT);

    click(xy, pixelOf(xy, 12, 7));
    ASSERT_EQ(picks.size(), 1u);
    // The plug-ins round by adding 0.5 and truncating.
    EXPECT_EQ(static_cast<int>(picks[0].x + 0.5f), 12);
    EXPECT_EQ(static_cast<int>(picks[0].y + 0.5f), 7);
    EXPECT_EQ(picks[0].z, 11.0f);
    EXPECT_NEAR(picks[0].x, 12.0f, 0.1f);
    EXPECT_NEAR(picks[0].y, 7.0f, 0.1f);
    EXPECT_EQ(hub().mode, 7);

    // The edge pixels of the slice are still its border voxels.
    click(view(AXIS_XY), pixelOf(xy, 0, 0));
    EXPECT_EQ(picks.size(), 1u) << "one pick per switch to the pick mode";
    hub().setMode(CAppSceneHub::MODE_PICK_POINT);
    click(xy, wxPoint(geometry.getLeft() + geometry.getWidth() - 1, geometry.getTop() + geometry.getHeight() - 1));
    ASSERT_EQ(picks.size(), 2u);
    EXPECT_EQ(static_cast<int>(picks[1].x + 0.5f), 39);
    EXPECT_EQ(static_cast<int>(picks[1].y + 0.5f), 29);

    // The side views pick on their own slice: z grows upwards in XZ.
    hub().setMode(CAppSceneHub::MODE_PICK_POINT);
    COrthoView& xz = view(AXIS_XZ);
    click(xz, pixelOf(xz, 3, 17));
    ASSERT_EQ(picks.size(), 3u);
    EXPECT_NEAR(picks[2].x, 3.0f, 0.1f);
    EXPECT_EQ(picks[2].y, float(scene().getPosition(AXIS_XZ)));
    EXPECT_NEAR(picks[2].z, 17.0f, 0.1f);
}

TEST_F(SceneViewsTest, ClickWithoutPickModeMovesTheOtherSlices)
{
    std::vector<CPick> picks;
    hub().pointPicked.connect([&](float x, float y, float z, int) { picks.push_back({x, y, z}); });
    const int z = scene().getPosition(AXIS_XY);
    COrthoView& xy = view(AXIS_XY);
    click(xy, pixelOf(xy, 9, 21));
    EXPECT_TRUE(picks.empty());
    EXPECT_EQ(scene().getPosition(AXIS_YZ), 9);
    EXPECT_EQ(scene().getPosition(AXIS_XZ), 21);
    EXPECT_EQ(scene().getPosition(AXIS_XY), z);
}

TEST_F(SceneViewsTest, StrokesAreDeliveredInVoxelCoordinatesOnlyInDrawingMode3)
{
    struct CStroke
    {
        std::vector<osg::Vec3f> points;
        int state;
    };
    std::vector<CStroke> strokes;
    hub().strokeDrawn.connect([&](const osg::Vec3Array* points, int state, int) {
        strokes.push_back({points ? std::vector<osg::Vec3f>(points->begin(), points->end()) : std::vector<osg::Vec3f>{}, state});
    });
    std::vector<CPick> picks;
    hub().pointPicked.connect([&](float x, float y, float z, int) { picks.push_back({x, y, z}); });
    ASSERT_TRUE(frame->showSlice(2, 4));
    COrthoView& xy = view(AXIS_XY);
    auto drag = [&](COrthoView& target, const std::vector<std::array<double, 2>>& path) {
        mouse(target, wxEVT_LEFT_DOWN, pixelOf(target, path.front()[0], path.front()[1]), true);
        for (std::size_t i = 1; i < path.size(); ++i)
            mouse(target, wxEVT_MOTION, pixelOf(target, path[i][0], path[i][1]), true);
        mouse(target, wxEVT_LEFT_UP, pixelOf(target, path.back()[0], path.back()[1]), false);
    };

    drag(xy, {{5, 5}, {6, 5}, {8, 6}});
    EXPECT_TRUE(strokes.empty()) << "no drawing mode";

    setDrawing(data::CDrawingOptions::MODE_STROKES, 0, 0, 1, 2);
    drag(xy, {{5, 5}, {6, 5}, {6, 5}, {8, 6}});
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].state, 2);
    EXPECT_EQ(strokes[0].points, (std::vector<osg::Vec3f>{{5, 5, 4}, {6, 5, 4}, {8, 6, 4}}));

    // In the XZ view the stroke lies on the XZ slice.
    COrthoView& xz = view(AXIS_XZ);
    const float y = float(scene().getPosition(AXIS_XZ));
    drag(xz, {{3, 12}, {4, 12}});
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[1].points, (std::vector<osg::Vec3f>{{3, y, 12}, {4, y, 12}}));

    // Picking takes precedence over drawing.
    hub().setMode(CAppSceneHub::MODE_PICK_POINT);
    drag(xy, {{10, 10}, {11, 10}});
    EXPECT_EQ(strokes.size(), 2u);
    EXPECT_EQ(picks.size(), 1u);

    // Leaving drawing mode 3 ends the strokes.
    setDrawing(data::CDrawingOptions::MODE_NONE, 0, 0, 1, 2);
    drag(xy, {{5, 5}, {6, 5}});
    EXPECT_EQ(strokes.size(), 2u);
}

TEST_F(SceneViewsTest, SliceMovesGoThroughEntry21AndRedrawOnlyTheirView)
{
    std::vector<int> heard;
    CEntryCallback<data::COrthoSliceXY> observer([&](data::COrthoSliceXY& slice) { heard.push_back(slice.getPosition()); });
    storage().connectObserver(21, &observer);
    ASSERT_TRUE(frame->showSlice(2, 6));
    EXPECT_EQ(heard, (std::vector<int>{6}));
    EXPECT_EQ(entrySliceXY(), 6);

    scene().renderNow();
    for (int axis : {0, 1, 2})
        EXPECT_TRUE(view(axis).isSliceCurrent());
    COrthoView& xy = view(AXIS_XY);
    mouse(xy, wxEVT_MOUSEWHEEL, pixelOf(xy, 4, 4), false);
    EXPECT_EQ(heard, (std::vector<int>{6, 7}));
    EXPECT_EQ(scene().getPosition(AXIS_XY), 7);
    EXPECT_FALSE(xy.isSliceCurrent());
    EXPECT_TRUE(view(AXIS_XZ).isSliceCurrent());
    EXPECT_TRUE(view(AXIS_YZ).isSliceCurrent());

    wxKeyEvent key(wxEVT_KEY_DOWN);
    key.m_keyCode = WXK_PAGEDOWN;
    xy.GetEventHandler()->ProcessEvent(key);
    EXPECT_EQ(entrySliceXY(), 0) << "clamped to the first slice";

    // Another writer of entry 21 moves the view too.
    {
        data::CObjectPtr<data::COrthoSliceXY> slice(storage().getEntry(21, REQUEST));
        slice->setPosition(13);
        storage().invalidate(slice.getEntry(), 0);
    }
    EXPECT_EQ(scene().getPosition(AXIS_XY), 13);

    // The side slices are the views' own; entry 21 does not hear of them.
    heard.clear();
    ASSERT_TRUE(frame->showSlice(0, 100));
    EXPECT_EQ(scene().getPosition(AXIS_YZ), 39);
    EXPECT_TRUE(heard.empty());
    EXPECT_FALSE(frame->showSlice(3, 1));
}

TEST_F(SceneViewsTest, RegionTableChangesReblendEverySlice)
{
    {
        data::CObjectPtr<data::CRegionData> regions(storage().getEntry(501, REQUEST));
        regions->at(20, 15, 10) = 1;
        storage().invalidate(regions.getEntry(), 0);
    }
    ASSERT_TRUE(frame->showSlice(2, 10));
    scene().renderNow();
    auto sliceColour = [&](int axis, int u, int v) {
        const auto& image = view(axis).getSliceImage();
        const int row = axis == AXIS_XY ? v : image.height - 1 - v;
        const std::uint8_t* p = image.pixel(u, row);
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    // The voxel lies on all three slices (x 20, y 15, z 10).
    const auto xy = sliceColour(AXIS_XY, 20, 15);
    EXPECT_GT(xy[0], xy[1] + 40);
    EXPECT_EQ(sliceColour(AXIS_XZ, 20, 10), xy);
    EXPECT_EQ(sliceColour(AXIS_YZ, 15, 10), xy);
    {
        data::CObjectPtr<data::CRegionColoring> coloring(storage().getEntry(502, REQUEST));
        coloring->setVisible(1, false);
        storage().invalidate(coloring.getEntry(), 0);
    }
    for (int axis : {0, 1, 2})
        EXPECT_FALSE(view(axis).isSliceCurrent()) << axis;
    scene().renderNow();
    const auto hidden = sliceColour(AXIS_XY, 20, 15);
    EXPECT_EQ(hidden[0], hidden[1]);
    EXPECT_EQ(sliceColour(AXIS_YZ, 15, 10), hidden);
}

TEST_F(SceneViewsTest, ViewsFollowANewDataSet)
{
    scene().renderNow();
    EXPECT_EQ(view(AXIS_YZ).getSliceImage().width, 30);
    data->loadDataSet(import::CPhantomSource(24, 16, 12).generate());
    EXPECT_EQ(scene().getSize(), (std::array<int, 3>{24, 16, 12}));
    EXPECT_EQ(scene().getPosition(AXIS_YZ), 12);
    scene().renderNow();
    EXPECT_EQ(view(AXIS_YZ).getSliceImage().width, 16);
    EXPECT_EQ(view(AXIS_YZ).getSliceImage().height, 12);
    EXPECT_EQ(view(AXIS_XY).getSliceImage().width, 24);
}

TEST_F(SceneViewsTest, ScreenshotShowsRegionsOverThePhantomAndTheModel)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR);
    ASSERT_TRUE(frame->showSlice(2, 10));
    const wxPoint clientOrigin = frame->ClientToScreen(wxPoint(0, 0));
    auto shot = [&](const std::string& name) {
        const wxString path = (folder / name).string();
        EXPECT_TRUE(frame->saveScreenshot(path));
        wxImage image(path, wxBITMAP_TYPE_PNG);
        EXPECT_TRUE(image.IsOk());
        return image;
    };
    auto screenPixel = [&](const wxImage& image, wxWindow& window, const wxPoint& at) {
        const wxPoint p = window.ClientToScreen(at) - clientOrigin;
        return std::array<int, 3>{image.GetRed(p.x, p.y), image.GetGreen(p.x, p.y), image.GetBlue(p.x, p.y)};
    };
    CModelView& model = *scene().getModelView();
    auto modelPixels = [&](const wxImage& image) {
        // Pixels of the 3D view that are not its background.
        const wxSize size = model.GetClientSize();
        const wxColour background(int(CModelView::BACKGROUND.r() * 255 + 0.5f), int(CModelView::BACKGROUND.g() * 255 + 0.5f),
                                  int(CModelView::BACKGROUND.b() * 255 + 0.5f));
        const wxPoint origin = model.ClientToScreen(wxPoint(0, 0)) - clientOrigin;
        int count = 0;
        for (int y = 0; y < size.y; y += 2)
            for (int x = 0; x < size.x; x += 2)
            {
                const int px = origin.x + x, py = origin.y + y;
                count += std::abs(image.GetRed(px, py) - background.Red()) + std::abs(image.GetGreen(px, py) - background.Green()) +
                             std::abs(image.GetBlue(px, py) - background.Blue()) > 30;
            }
        return count;
    };

    // Region 1 on a block of the current slice, clear of the cross lines (x 20, y 15).
    {
        data::CObjectPtr<data::CRegionData> regions(storage().getEntry(501, REQUEST));
        for (int y = 5; y < 12; ++y)
            for (int x = 8; x < 16; ++x)
                regions->at(x, y, 10) = 1;
        storage().invalidate(regions.getEntry(), 0);
    }
    COrthoView& xy = view(AXIS_XY);
    const wxImage before = shot("views-regions.png");
    // Soft-tissue window; region 1 is (255, 128, 128) with alpha 128.
    auto greyAt = [&](int x, int y) {
        data::CObjectPtr<data::CDensityData> density(storage().getEntry(ENTRY_DENSITY, REQUEST));
        return int(CDensityWindow().toGrey(density->at(x, y, 10)));
    };
    auto blended = [](int grey) {
        return std::array<int, 3>{(grey * 127 + 255 * 128 + 127) / 255, (grey * 127 + 128 * 128 + 127) / 255,
                                  (grey * 127 + 128 * 128 + 127) / 255};
    };
    const auto inside = screenPixel(before, xy, pixelOf(xy, 11, 8));
    EXPECT_EQ(inside, blended(greyAt(11, 8)));
    EXPECT_GT(inside[0], inside[1] + 40);
    for (const auto& voxel : {std::array<int, 2>{28, 8}, {12, 20}, {16, 12}, {39, 0}})
    {
        const int grey = greyAt(voxel[0], voxel[1]);
        EXPECT_EQ(screenPixel(before, xy, pixelOf(xy, voxel[0], voxel[1])), (std::array<int, 3>{grey, grey, grey}))
            << voxel[0] << "," << voxel[1];
    }
    EXPECT_EQ(greyAt(39, 0), 0) << "air is black (a corner clear of the view's caption on small screens)";
    EXPECT_LT(modelPixels(before), 10) << "no mesh: the 3D view is empty";

    // Switching the region display off shows the density alone.
    {
        data::CObjectPtr<data::CRegionData> regions(storage().getEntry(501, REQUEST));
        regions->show(false);
        storage().invalidate(regions.getEntry(), 0);
    }
    const wxImage hidden = shot("views-hidden.png");
    const int grey = greyAt(11, 8);
    EXPECT_EQ(screenPixel(hidden, xy, pixelOf(xy, 11, 8)), (std::array<int, 3>{grey, grey, grey}));
    {
        data::CObjectPtr<data::CRegionData> regions(storage().getEntry(501, REQUEST));
        regions->show(true);
        storage().invalidate(regions.getEntry(), 0);
    }

    // A stroke in green, three pixels wide, is drawn where it was dragged.
    setDrawing(data::CDrawingOptions::MODE_STROKES, 0, 1, 0, 3);
    mouse(xy, wxEVT_LEFT_DOWN, pixelOf(xy, 25, 24), true);
    mouse(xy, wxEVT_MOTION, pixelOf(xy, 35, 24), true);
    mouse(xy, wxEVT_LEFT_UP, pixelOf(xy, 35, 24), false);

    // The model: an octahedron in the middle of the volume (mm).
    {
        data::CObjectPtr<data::CModel> entry(storage().getEntry(801, REQUEST));
        entry->setMesh(makeOctahedron(16, 7.5, 20, 7).release());
        storage().invalidate(entry.getEntry(), 0);
    }
    const wxImage after = shot("views-model.png");
    const auto stroke = screenPixel(after, xy, pixelOf(xy, 30, 24));
    EXPECT_EQ(stroke, (std::array<int, 3>{0, 255, 0}));
    const wxSize modelSize = model.GetClientSize();
    EXPECT_GT(modelPixels(after), modelSize.x * modelSize.y / 4 / 50) << "the model covers part of the 3D view";
    // Still the regions in the XY view.
    EXPECT_EQ(screenPixel(after, xy, pixelOf(xy, 11, 8)), inside);

    // Taking the mesh away empties the 3D view again.
    {
        data::CObjectPtr<data::CModel> entry(storage().getEntry(801, REQUEST));
        entry->setMesh(nullptr);
        storage().invalidate(entry.getEntry(), 0);
    }
    EXPECT_FALSE(model.hasModel());
    EXPECT_LT(modelPixels(shot("views-empty.png")), 10);
}

TEST_F(SceneViewsTest, ModelsRebuiltOverAndOverDrawEveryFrame)
{
    // Steps give the view a new geometry for every change of the model: often of the old
    // one's size (small areas with nothing to remove), sometimes larger or smaller, now and
    // then with an empty view between. The graphics library recycles the buffers of such
    // geometries; drawn from recycled vertex buffers, the GL read vertex offsets as
    // addresses (a crash in about every second run of this test). Every frame must draw,
    // and the model stays shown.
    CModelView& model = *scene().getModelView();
    auto bipyramid = [](int sides) {
        // `sides` vertices round the equator and two apexes: sides + 2 vertices.
        auto mesh = std::make_unique<vctl::MCTriS>();
        vctl::MCVerticeS& vertices = mesh->getVertices();
        std::vector<vctl::MCVertex*> ring;
        for (int i = 0; i < sides; ++i)
        {
            const double angle = 2 * M_PI * i / sides;
            ring.push_back(vertices.addVertex(16 + 6 * std::cos(angle), 7.5 + 6 * std::sin(angle), 20));
        }
        vctl::MCVertex* top = vertices.addVertex(16, 7.5, 26);
        vctl::MCVertex* bottom = vertices.addVertex(16, 7.5, 14);
        for (int i = 0; i < sides; ++i)
        {
            mesh->addTri(ring[i], ring[(i + 1) % sides], top);
            mesh->addTri(ring[(i + 1) % sides], ring[i], bottom);
        }
        return mesh;
    };
    auto show = [&](std::unique_ptr<vctl::MCTriS> mesh) {
        data::CObjectPtr<data::CModel> entry(storage().getEntry(801, REQUEST));
        if (mesh || !entry->getMesh())
            entry->setMesh(mesh ? mesh.release() : bipyramid(32).release());
        storage().invalidate(entry.getEntry(), 0);
    };
    for (int round = 0; round < 400; ++round)
    {
        // A new mesh every seventh round (32, 33 or 34 sides), else the same one redrawn.
        show(round % 7 == 0 ? bipyramid(32 + (round / 7) % 3) : nullptr);
        model.renderNow();
        if (round % 2)
            model.renderNow();
        if (round % 11 == 0)
        {
            {
                data::CObjectPtr<data::CModel> entry(storage().getEntry(801, REQUEST));
                entry->setMesh(nullptr);
                storage().invalidate(entry.getEntry(), 0);
            }
            EXPECT_FALSE(model.hasModel());
            model.renderNow();
        }
        ASSERT_TRUE(model.hasModel() || round % 11 == 0);
    }
}
