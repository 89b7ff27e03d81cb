#pragma once
// One ortho view: a slice of the density through the scene's window with the regions
// blended over it (CSliceRenderer), the positions of the other two slices as cross lines,
// and the strokes drawn on this slice.
//
// Mouse and keys:
//   - wheel, Up/Down, Page Up/Page Down (10 slices), Home/End: move through the slices;
//   - left button, when the scene hub's mouse mode is CAppSceneHub::MODE_PICK_POINT:
//     emits pointPicked with the voxel coordinates of the clicked point (the slice index
//     on the normal axis) and returns the hub to its saved mode; a click outside the
//     volume emits nothing and keeps the mode. Picking takes precedence over drawing;
//   - left drag, when the drawing mode (entry 555) is 3: draws a polyline in the drawing
//     colour and width and, on release, emits strokeDrawn with the stroke's voxels
//     (CStrokePath) and state 2; nothing when no point fell inside the volume;
//   - left click or drag otherwise: moves the other two slices to the point;
//   - right drag: changes the density window (horizontal: width, vertical: level).
// A handler that throws is logged; the event loop never sees the exception.

#include "host/views/CDensityWindow.h"
#include "host/views/CSliceGeometry.h"
#include "host/views/CSliceRenderer.h"
#include "host/views/CStrokePath.h"

#include <wx/graphics.h>
#include <wx/panel.h>

#include <array>
#include <memory>
#include <vector>

namespace velmora::views {

class CSceneViews;

class COrthoView : public wxPanel
{
public:
    COrthoView(CSceneViews& scene, wxWindow* parent, int axis);
    ~COrthoView() override;

    int getAxis() const { return m_axis; }
    //! Where the slice sits in the view at its current size.
    CSliceGeometry getGeometry() const;

    //! Marks the slice image out of date; it is rebuilt at the next paint.
    void invalidateSlice();
    //! Rebuilds an out-of-date slice image now.
    void updateSlice();
    //! False while the slice image waits to be rebuilt.
    bool isSliceCurrent() const { return m_sliceValid; }
    //! The slice image as last built, before scaling to the view.
    const CSliceRenderer::CImage& getSliceImage() const { return m_slice; }

    //! Forgets the strokes drawn so far (and one being drawn).
    void clearStrokes();
    //! Cursor for the hub's mouse mode and the drawing mode.
    void updateCursor();

private:
    struct CStroke
    {
        int index = 0; //!< slice
        std::vector<std::array<double, 2>> points; //!< slice coordinates (u, v)
        wxColour colour;
        int width = 1;
    };
    enum class EDrag
    {
        NONE,
        STROKE,
        CROSS,
        WINDOW
    };

    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    void onRightDown(wxMouseEvent& event);
    void onRightUp(wxMouseEvent& event);
    void onMotion(wxMouseEvent& event);
    void onWheel(wxMouseEvent& event);
    void onKey(wxKeyEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);

    //! The volume point under a view pixel; false outside the volume.
    bool pointAt(const wxPoint& pixel, std::array<float, 3>& point) const;
    void pick(const wxPoint& pixel);
    void beginStroke(const wxPoint& pixel);
    void extendStroke(const wxPoint& pixel);
    void endStroke();
    void moveCross(const wxPoint& pixel);
    void step(int slices);
    void endDrag();
    void drawCross(wxDC& dc, const CSliceGeometry& geometry);
    void drawStrokes(wxDC& dc, const CSliceGeometry& geometry);
    void drawTitle(wxDC& dc);

    CSceneViews& m_scene;
    int m_axis;
    CSliceRenderer::CImage m_slice;
    bool m_sliceValid = false;
    CSliceRenderer::CImage m_scaled; //!< the slice scaled to the view
    wxGraphicsBitmap m_bitmap;       //!< m_scaled for drawing, made at its first drawing
    bool m_bitmapValid = false;

    std::vector<CStroke> m_strokes;
    std::unique_ptr<CStrokePath> m_path; //!< the stroke being drawn
    EDrag m_drag = EDrag::NONE;
    wxPoint m_dragStart;
    CDensityWindow m_dragWindow;
};

} // namespace velmora::views
