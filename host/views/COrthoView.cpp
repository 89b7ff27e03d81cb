#include "host/views/COrthoView.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CObjectPtr.h"
#include "data/CRegionData.h"
#include "data/StorageEntries.h"
#include "host/HostStorage.h"
#include "host/views/CSceneViews.h"
#include "plug/CAppSceneHub.h"
#include "toolkit/base/CLog.h"

#include <wx/dcbuffer.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include <cmath>
#include <exception>

namespace velmora::views {

using namespace data::entries;

namespace {

// Each view has a colour; the cross line of a slice in the other views has the same one.
const wxColour& axisColour(int axis)
{
    static const wxColour colours[3] = {wxColour(235, 90, 90), wxColour(90, 215, 90), wxColour(90, 150, 255)};
    return colours[axis];
}

const char* axisName(int axis)
{
    static const char* names[3] = {"YZ", "XZ", "XY"};
    return names[axis];
}

void logFailure(const char* operation, const std::exception& error)
{
    kvo::base::logStream() << "<note> COrthoView::" << operation << "(): " << error.what() << std::endl;
}

} // namespace

COrthoView::COrthoView(CSceneViews& scene, wxWindow* parent, int axis)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(200, 200), wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
      m_scene(scene),
      m_axis(axis)
{
    SetName(axisName(axis));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &COrthoView::onPaint, this);
    Bind(wxEVT_SIZE, &COrthoView::onSize, this);
    Bind(wxEVT_LEFT_DOWN, &COrthoView::onLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &COrthoView::onLeftDown, this);
    Bind(wxEVT_LEFT_UP, &COrthoView::onLeftUp, this);
    Bind(wxEVT_RIGHT_DOWN, &COrthoView::onRightDown, this);
    Bind(wxEVT_RIGHT_UP, &COrthoView::onRightUp, this);
    Bind(wxEVT_MOTION, &COrthoView::onMotion, this);
    Bind(wxEVT_MOUSEWHEEL, &COrthoView::onWheel, this);
    Bind(wxEVT_KEY_DOWN, &COrthoView::onKey, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &COrthoView::onCaptureLost, this);
}

COrthoView::~COrthoView()
{
    if (HasCapture())
        ReleaseMouse();
}

CSliceGeometry COrthoView::getGeometry() const
{
    const wxSize size = GetClientSize();
    return CSliceGeometry(m_axis, m_scene.getSize(), m_scene.getSpacing(), size.x, size.y);
}

void COrthoView::invalidateSlice()
{
    m_sliceValid = false;
    m_bitmapValid = false;
    Refresh(false);
}

void COrthoView::updateSlice()
{
    if (m_sliceValid)
        return;
    m_sliceValid = true;
    m_bitmapValid = false;
    m_slice = CSliceRenderer::CImage();
    if (!m_scene.hasData())
        return;
    try
    {
        data::CDataStorage& storage = m_scene.getStorage();
        const int id = data::CObjectPtr<data::CActiveDataSet>(storage.getEntry(ENTRY_ACTIVE_DATA_SET, REQUEST))->getDataSetId();
        if (!data::CDataStorage::isValidId(id))
            return;
        data::CObjectPtr<data::CDensityData> density(storage.getEntry(id, REQUEST));
        data::CObjectPtr<data::CRegionData> regions(storage.getEntry(ENTRY_REGION_DATA, REQUEST));
        m_slice = CSliceRenderer::render(m_axis, m_scene.getPosition(m_axis), *density, regions.get(),
                                         m_scene.getGreyTable(), m_scene.getOverlay());
    }
    catch (const std::exception& error)
    {
        logFailure("updateSlice", error);
    }
}

void COrthoView::clearStrokes()
{
    m_strokes.clear();
    if (m_drag == EDrag::STROKE)
        endDrag();
    m_path.reset();
    Refresh(false);
}

void COrthoView::updateCursor()
{
    if (m_scene.getHub().mode == CAppSceneHub::MODE_PICK_POINT)
        SetCursor(wxCursor(wxCURSOR_CROSS));
    else if (m_scene.getDrawing().mode == data::CDrawingOptions::MODE_STROKES)
        SetCursor(wxCursor(wxCURSOR_PENCIL));
    else
        SetCursor(wxNullCursor);
}

void COrthoView::onPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    updateSlice();
    const CSliceGeometry geometry = getGeometry();
    if (!m_slice.isEmpty() && !geometry.isEmpty())
    {
        if (!m_bitmapValid || m_scaled.width != geometry.getWidth() || m_scaled.height != geometry.getHeight())
        {
            m_scaled = CSliceRenderer::scale(m_slice, geometry.getWidth(), geometry.getHeight());
            m_bitmap = wxGraphicsBitmap();
            m_bitmapValid = true;
        }
        // The scaled slice goes to the drawing context in one conversion: a wxBitmap would
        // hold it as a GdkPixbuf and convert it again at every drawing.
        wxImage image(m_scaled.width, m_scaled.height, m_scaled.rgb.data(), true); // not copied
        if (wxGraphicsContext* context = dc.GetGraphicsContext())
        {
            if (m_bitmap.IsNull())
                m_bitmap = context->GetRenderer()->CreateBitmapFromImage(image);
            context->DrawBitmap(m_bitmap, geometry.getLeft(), geometry.getTop(), m_scaled.width, m_scaled.height);
        }
        else
            dc.DrawBitmap(wxBitmap(image), geometry.getLeft(), geometry.getTop());
        drawCross(dc, geometry);
        drawStrokes(dc, geometry);
    }
    drawTitle(dc);
}

void COrthoView::onSize(wxSizeEvent& event)
{
    m_bitmapValid = false;
    Refresh(false);
    event.Skip();
}

void COrthoView::drawCross(wxDC& dc, const CSliceGeometry& geometry)
{
    const int uAxis = geometry.getUAxis();
    const int vAxis = geometry.getVAxis();
    // The slice normal to the u axis shows as a vertical line at its position, and so on.
    const auto at = geometry.voxelToPixel(m_scene.getPosition(uAxis), m_scene.getPosition(vAxis));
    const int x = static_cast<int>(std::floor(at[0]));
    const int y = static_cast<int>(std::floor(at[1]));
    const int left = geometry.getLeft(), top = geometry.getTop();
    const int right = left + geometry.getWidth() - 1, bottom = top + geometry.getHeight() - 1;
    dc.SetPen(wxPen(axisColour(uAxis), 1));
    dc.DrawLine(x, top, x, bottom + 1);
    dc.SetPen(wxPen(axisColour(vAxis), 1));
    dc.DrawLine(left, y, right + 1, y);
}

void COrthoView::drawStrokes(wxDC& dc, const CSliceGeometry& geometry)
{
    const int index = m_scene.getPosition(m_axis);
    for (const CStroke& stroke : m_strokes)
    {
        if (stroke.index != index || stroke.points.empty())
            continue;
        std::vector<wxPoint> points;
        points.reserve(stroke.points.size());
        for (const auto& point : stroke.points)
        {
            const auto pixel = geometry.voxelToPixel(point[0], point[1]);
            points.emplace_back(static_cast<int>(std::floor(pixel[0])), static_cast<int>(std::floor(pixel[1])));
        }
        wxPen pen(stroke.colour, stroke.width);
        pen.SetCap(wxCAP_ROUND);
        pen.SetJoin(wxJOIN_ROUND);
        dc.SetPen(pen);
        if (points.size() == 1)
            dc.DrawLine(points[0], points[0] + wxPoint(1, 0));
        else
            dc.DrawLines(static_cast<int>(points.size()), points.data());
    }
}

void COrthoView::drawTitle(wxDC& dc)
{
    wxString title = axisName(m_axis);
    if (m_scene.hasData())
    {
        static const char* normal[3] = {"x", "y", "z"};
        title += wxString::Format("   %s %d / %d", normal[m_axis], m_scene.getPosition(m_axis),
                                  m_scene.getSize()[m_axis] - 1);
    }
    dc.SetTextForeground(axisColour(m_axis));
    dc.DrawText(title, 4, 2);
}

bool COrthoView::pointAt(const wxPoint& pixel, std::array<float, 3>& point) const
{
    if (!m_scene.hasData())
        return false;
    const CSliceGeometry geometry = getGeometry();
    const auto uv = geometry.pixelToVoxel(pixel.x, pixel.y);
    if (!geometry.contains(uv[0], uv[1]))
        return false;
    point = geometry.toVolume(uv[0], uv[1], m_scene.getPosition(m_axis));
    return true;
}

void COrthoView::onLeftDown(wxMouseEvent& event)
{
    SetFocus();
    if (m_drag != EDrag::NONE)
        return;
    if (m_scene.getHub().mode == CAppSceneHub::MODE_PICK_POINT)
        pick(event.GetPosition());
    else if (m_scene.getDrawing().mode == data::CDrawingOptions::MODE_STROKES)
        beginStroke(event.GetPosition());
    else
    {
        m_drag = EDrag::CROSS;
        if (!HasCapture())
            CaptureMouse();
        moveCross(event.GetPosition());
    }
}

void COrthoView::onLeftUp(wxMouseEvent& event)
{
    if (m_drag == EDrag::STROKE)
    {
        extendStroke(event.GetPosition());
        endStroke();
    }
    else if (m_drag == EDrag::CROSS)
        endDrag();
}

void COrthoView::onRightDown(wxMouseEvent& event)
{
    if (m_drag != EDrag::NONE)
        return;
    m_drag = EDrag::WINDOW;
    m_dragStart = event.GetPosition();
    m_dragWindow = m_scene.getWindow();
    if (!HasCapture())
        CaptureMouse();
}

void COrthoView::onRightUp(wxMouseEvent&)
{
    if (m_drag == EDrag::WINDOW)
        endDrag();
}

void COrthoView::onMotion(wxMouseEvent& event)
{
    switch (m_drag)
    {
    case EDrag::STROKE: extendStroke(event.GetPosition()); break;
    case EDrag::CROSS: moveCross(event.GetPosition()); break;
    case EDrag::WINDOW:
    {
        const wxPoint delta = event.GetPosition() - m_dragStart;
        m_scene.setWindow(CDensityWindow(m_dragWindow.getLevel() + 2 * delta.y, m_dragWindow.getWidth() + 4 * delta.x));
        break;
    }
    case EDrag::NONE: break;
    }
}

void COrthoView::onWheel(wxMouseEvent& event)
{
    const int rotation = event.GetWheelRotation();
    if (rotation != 0)
        step(rotation > 0 ? 1 : -1);
}

void COrthoView::onKey(wxKeyEvent& event)
{
    switch (event.GetKeyCode())
    {
    case WXK_UP:
    case WXK_RIGHT: step(1); break;
    case WXK_DOWN:
    case WXK_LEFT: step(-1); break;
    case WXK_PAGEUP: step(10); break;
    case WXK_PAGEDOWN: step(-10); break;
    case WXK_HOME: m_scene.setPosition(m_axis, 0); break;
    case WXK_END: m_scene.setPosition(m_axis, m_scene.getSize()[m_axis] - 1); break;
    default: event.Skip();
    }
}

void COrthoView::onCaptureLost(wxMouseCaptureLostEvent&)
{
    // The drag ends where it is; a stroke is still delivered.
    if (m_drag == EDrag::STROKE)
        endStroke();
    m_drag = EDrag::NONE;
}

void COrthoView::step(int slices)
{
    try
    {
        m_scene.setPosition(m_axis, m_scene.getPosition(m_axis) + slices);
    }
    catch (const std::exception& error)
    {
        logFailure("step", error);
    }
}

void COrthoView::pick(const wxPoint& pixel)
{
    std::array<float, 3> point{};
    if (!pointAt(pixel, point))
        return;
    CAppSceneHub& hub = m_scene.getHub();
    try
    {
        hub.pointPicked.emit(point[0], point[1], point[2], 0);
    }
    catch (const std::exception& error)
    {
        logFailure("pick", error);
    }
    hub.restoreMode();
}

void COrthoView::beginStroke(const wxPoint& pixel)
{
    m_drag = EDrag::STROKE;
    if (!HasCapture())
        CaptureMouse();
    const CSceneViews::CDrawing& drawing = m_scene.getDrawing();
    m_path = std::make_unique<CStrokePath>(m_scene.getSize());
    m_strokes.push_back(CStroke{m_scene.getPosition(m_axis), {}, drawing.colour, drawing.width});
    extendStroke(pixel);
}

void COrthoView::extendStroke(const wxPoint& pixel)
{
    if (!m_path || m_strokes.empty())
        return;
    const CSliceGeometry geometry = getGeometry();
    const auto uv = geometry.pixelToVoxel(pixel.x, pixel.y);
    auto& points = m_strokes.back().points;
    if (!points.empty() && points.back() == uv)
        return;
    points.push_back(uv);
    if (geometry.contains(uv[0], uv[1]))
        m_path->add(geometry.toVolume(uv[0], uv[1], m_scene.getPosition(m_axis)));
    Refresh(false);
}

void COrthoView::endStroke()
{
    endDrag();
    std::unique_ptr<CStrokePath> path = std::move(m_path);
    if (!path || path->isEmpty())
        return;
    try
    {
        m_scene.getHub().strokeDrawn.emit(path->getPoints(), 2, 0);
    }
    catch (const std::exception& error)
    {
        logFailure("endStroke", error);
    }
}

void COrthoView::moveCross(const wxPoint& pixel)
{
    std::array<float, 3> point{};
    if (!pointAt(pixel, point))
        return;
    try
    {
        for (int axis : {0, 1, 2})
        {
            if (axis != m_axis)
                m_scene.setPosition(axis, static_cast<int>(std::floor(point[axis] + 0.5f)));
        }
    }
    catch (const std::exception& error)
    {
        logFailure("moveCross", error);
    }
}

void COrthoView::endDrag()
{
    m_drag = EDrag::NONE;
    if (HasCapture())
        ReleaseMouse();
}

} // namespace velmora::views
