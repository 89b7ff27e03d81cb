#pragma once
// The central area of the main window: a window bar (density presets, level, width) over
// a 2 × 2 grid of the XY, XZ and YZ ortho views and the 3D model view.
//
// It follows the storage through observers: the active data set (11: size, spacing, all
// slices), the region data (501) and colouring (502: every slice re-blended), the XY slice
// (21: its position moves the XY view; the others redraw only their cross lines), the
// drawing options (555) and the model (801: the 3D view). Slice images are rebuilt lazily,
// at the next paint of the view whose slice changed.
//
// Slice positions: the XY position is entry 21's (moving it writes entry 21 and announces
// it); the XZ and YZ positions belong to the views and are centred for each new data set.
// Everything runs on the GUI thread. The storage and the hub must outlive the window.

#include "host/views/CDensityWindow.h"
#include "host/views/CEntryCallback.h"
#include "host/views/CRegionOverlay.h"
#include "toolkit/mod/CSignal.h"

#include <wx/colour.h>
#include <wx/panel.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CAppSceneHub;
class wxChoice;
class wxSpinCtrl;
class wxSpinEvent;

namespace data {
class CActiveDataSet;
class CDataStorage;
class CDrawingOptions;
class CModel;
class COrthoSliceXY;
class CRegionColoring;
class CRegionData;
} // namespace data

namespace velmora::views {

class COrthoView;
class CModelView;

class CSceneViews : public wxPanel
{
public:
    //! What the views need of the drawing options (entry 555).
    struct CDrawing
    {
        int mode = 0;
        wxColour colour{0, 0, 255};
        int width = 1;
    };

    CSceneViews(wxWindow* parent, data::CDataStorage& storage, CAppSceneHub& hub);
    ~CSceneViews() override;

    //! The ortho view showing slices normal to `axis` (ESliceAxis); null for other values.
    COrthoView* getOrthoView(int axis) const;
    CModelView* getModelView() const { return m_modelView; }

    data::CDataStorage& getStorage() { return m_storage; }
    CAppSceneHub& getHub() { return m_hub; }

    //! Voxel counts (0 without data) and voxel sizes in mm of the active data set.
    const std::array<int, 3>& getSize() const { return m_size; }
    const std::array<double, 3>& getSpacing() const { return m_spacing; }
    bool hasData() const { return m_size[0] > 0 && m_size[1] > 0 && m_size[2] > 0; }

    //! Index of the slice shown normal to `axis`.
    int getPosition(int axis) const { return m_position[axis]; }
    //! Moves the slice normal to `axis` to `index`, clamped to the volume. The XY slice is
    //! moved through entry 21. False without data or for a bad axis.
    bool setPosition(int axis, int index);

    const CDensityWindow& getWindow() const { return m_window; }
    //! Changes the density window of all ortho views; the window bar follows.
    void setWindow(const CDensityWindow& window);
    //! Grey values of the current window (CDensityWindow::makeTable).
    const std::vector<std::uint8_t>& getGreyTable() const { return m_greyTable; }
    const CRegionOverlay& getOverlay() const { return m_overlay; }
    const CDrawing& getDrawing() const { return m_drawing; }

    //! Brings every view up to date and draws it now, the 3D view included (before a
    //! screenshot of the screen).
    void renderNow();

private:
    void buildWindowBar(wxSizer* sizer);
    void connectEntries();
    void followDataSet();
    void followRegions();
    void followSliceXY(const data::COrthoSliceXY& slice);
    void followDrawing(const data::CDrawingOptions& options);
    void followModel(const data::CModel& model);
    void updateCursors();
    void invalidateSlices();
    void onPreset(wxCommandEvent& event);
    void onLevelOrWidth(wxSpinEvent& event);

    data::CDataStorage& m_storage;
    CAppSceneHub& m_hub;
    std::array<COrthoView*, 3> m_orthoViews{};
    CModelView* m_modelView = nullptr;
    wxChoice* m_presetChoice = nullptr;
    wxSpinCtrl* m_levelSpin = nullptr;
    wxSpinCtrl* m_widthSpin = nullptr;

    std::array<int, 3> m_size{0, 0, 0};
    std::array<double, 3> m_spacing{1.0, 1.0, 1.0};
    std::array<int, 3> m_position{0, 0, 0};
    CDensityWindow m_window;
    std::vector<std::uint8_t> m_greyTable;
    CRegionOverlay m_overlay;
    CDrawing m_drawing;
    const void* m_shownMesh = nullptr; //!< compared only, never followed

    kvo::mod::CConnection m_modeConnection;
    std::unique_ptr<CEntryCallback<data::CActiveDataSet>> m_dataSetObserver;
    std::unique_ptr<CEntryCallback<data::CRegionData>> m_regionObserver;
    std::unique_ptr<CEntryCallback<data::CRegionColoring>> m_coloringObserver;
    std::unique_ptr<CEntryCallback<data::COrthoSliceXY>> m_sliceObserver;
    std::unique_ptr<CEntryCallback<data::CDrawingOptions>> m_drawingObserver;
    std::unique_ptr<CEntryCallback<data::CModel>> m_modelObserver;
};

} // namespace velmora::views
