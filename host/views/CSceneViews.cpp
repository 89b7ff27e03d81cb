#include "host/views/CSceneViews.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/COrthoSliceXY.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/StorageEntries.h"
#include "host/HostStorage.h"
#include "host/views/CMeshGeometry.h"
#include "host/views/CModelView.h"
#include "host/views/COrthoView.h"
#include "plug/CAppSceneHub.h"
#include "toolkit/base/CLog.h"
#include "vctl/MCTriS.h"

#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>

#include <algorithm>
#include <cmath>

namespace velmora::views {

using namespace data::entries;

namespace {

const osg::Vec4 MODEL_COLOUR(0.93f, 0.87f, 0.76f, 1.0f);

std::uint8_t toByte(float component)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(component, 0.0f, 1.0f) * 255.0f));
}

} // namespace

CSceneViews::CSceneViews(wxWindow* parent, data::CDataStorage& storage, CAppSceneHub& hub)
    : wxPanel(parent, wxID_ANY), m_storage(storage), m_hub(hub), m_greyTable(m_window.makeTable())
{
    SetBackgroundColour(*wxBLACK);
    auto* main = new wxBoxSizer(wxVERTICAL);
    buildWindowBar(main);
    auto* grid = new wxGridSizer(2, 2, 2, 2);
    for (int axis : {AXIS_XY, AXIS_XZ, AXIS_YZ})
    {
        m_orthoViews[axis] = new COrthoView(*this, this, axis);
        grid->Add(m_orthoViews[axis], 1, wxEXPAND);
    }
    m_modelView = new CModelView(this);
    grid->Add(m_modelView, 1, wxEXPAND);
    main->Add(grid, 1, wxEXPAND);
    SetSizer(main);

    m_modeConnection = m_hub.modeChanged.connect([this](int) { updateCursors(); });
    connectEntries();
    followDataSet();
    followModel(*take<data::CModel>(m_storage, ENTRY_MODEL));
    followDrawing(*take<data::CDrawingOptions>(m_storage, ENTRY_DRAWING_OPTIONS));
}

CSceneViews::~CSceneViews()
{
    if (m_modeConnection.signal)
        m_modeConnection.signal->disconnect(m_modeConnection.id);
    // The observers disconnect themselves; they go before the views they call.
    m_dataSetObserver.reset();
    m_regionObserver.reset();
    m_coloringObserver.reset();
    m_sliceObserver.reset();
    m_drawingObserver.reset();
    m_modelObserver.reset();
}

void CSceneViews::buildWindowBar(wxSizer* sizer)
{
    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    auto label = [this, bar](const char* text) {
        auto* title = new wxStaticText(this, wxID_ANY, text);
        title->SetForegroundColour(*wxWHITE);
        bar->Add(title, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 4);
    };
    label("Window");
    m_presetChoice = new wxChoice(this, wxID_ANY);
    for (const CDensityWindow::CPreset& preset : CDensityWindow::presets())
        m_presetChoice->Append(preset.name);
    m_presetChoice->Append("Custom");
    bar->Add(m_presetChoice, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    label("Level");
    m_levelSpin = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                 CDensityWindow::MIN_LEVEL, CDensityWindow::MAX_LEVEL, m_window.getLevel());
    bar->Add(m_levelSpin, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    label("Width");
    m_widthSpin = new wxSpinCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS,
                                 CDensityWindow::MIN_WIDTH, CDensityWindow::MAX_WIDTH, m_window.getWidth());
    bar->Add(m_widthSpin, 0, wxALIGN_CENTER_VERTICAL | wxALL, 2);
    sizer->Add(bar, 0, wxEXPAND);
    m_presetChoice->SetSelection(m_window.findPreset());
    m_presetChoice->Bind(wxEVT_CHOICE, &CSceneViews::onPreset, this);
    m_levelSpin->Bind(wxEVT_SPINCTRL, &CSceneViews::onLevelOrWidth, this);
    m_widthSpin->Bind(wxEVT_SPINCTRL, &CSceneViews::onLevelOrWidth, this);
}

void CSceneViews::connectEntries()
{
    m_dataSetObserver = std::make_unique<CEntryCallback<data::CActiveDataSet>>([this](data::CActiveDataSet&) { followDataSet(); });
    m_regionObserver = std::make_unique<CEntryCallback<data::CRegionData>>([this](data::CRegionData&) { followRegions(); });
    m_coloringObserver = std::make_unique<CEntryCallback<data::CRegionColoring>>([this](data::CRegionColoring&) { followRegions(); });
    m_sliceObserver = std::make_unique<CEntryCallback<data::COrthoSliceXY>>(
        [this](data::COrthoSliceXY& slice) { followSliceXY(slice); });
    m_drawingObserver = std::make_unique<CEntryCallback<data::CDrawingOptions>>(
        [this](data::CDrawingOptions& options) { followDrawing(options); });
    m_modelObserver = std::make_unique<CEntryCallback<data::CModel>>([this](data::CModel& model) { followModel(model); });
    m_storage.connectObserver(ENTRY_ACTIVE_DATA_SET, m_dataSetObserver.get());
    m_storage.connectObserver(ENTRY_REGION_DATA, m_regionObserver.get());
    m_storage.connectObserver(ENTRY_REGION_COLORING, m_coloringObserver.get());
    m_storage.connectObserver(ENTRY_ORTHO_SLICE_XY, m_sliceObserver.get());
    m_storage.connectObserver(ENTRY_DRAWING_OPTIONS, m_drawingObserver.get());
    m_storage.connectObserver(ENTRY_MODEL, m_modelObserver.get());
}

COrthoView* CSceneViews::getOrthoView(int axis) const
{
    return axis >= 0 && axis < 3 ? m_orthoViews[axis] : nullptr;
}

void CSceneViews::followDataSet()
{
    m_size = {0, 0, 0};
    m_spacing = {1.0, 1.0, 1.0};
    try
    {
        const int id = take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->getDataSetId();
        if (data::CDataStorage::isValidId(id))
        {
            auto density = take<data::CDensityData>(m_storage, id);
            m_size = {density->getXSize(), density->getYSize(), density->getZSize()};
            m_spacing = {density->getDX(), density->getDY(), density->getDZ()};
        }
        m_position[AXIS_YZ] = m_size[0] / 2;
        m_position[AXIS_XZ] = m_size[1] / 2;
        m_position[AXIS_XY] = std::clamp(take<data::COrthoSliceXY>(m_storage, ENTRY_ORTHO_SLICE_XY)->getPosition(), 0,
                                          std::max(m_size[2] - 1, 0));
    }
    catch (const std::exception& error)
    {
        kvo::base::logStream() << "<note> CSceneViews::followDataSet(): " << error.what() << std::endl;
    }
    for (COrthoView* view : m_orthoViews)
        view->clearStrokes();
    followRegions();
}

void CSceneViews::followRegions()
{
    try
    {
        auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
        auto coloring = take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING);
        m_overlay = CRegionOverlay(*coloring, regions->isShown());
    }
    catch (const std::exception& error)
    {
        m_overlay = CRegionOverlay();
        kvo::base::logStream() << "<note> CSceneViews::followRegions(): " << error.what() << std::endl;
    }
    invalidateSlices();
}

void CSceneViews::followSliceXY(const data::COrthoSliceXY& slice)
{
    const int z = std::clamp(slice.getPosition(), 0, std::max(m_size[2] - 1, 0));
    if (z == m_position[AXIS_XY])
        return;
    m_position[AXIS_XY] = z;
    // Only the XY image changes; the other views move a cross line.
    m_orthoViews[AXIS_XY]->invalidateSlice();
    m_orthoViews[AXIS_XZ]->Refresh(false);
    m_orthoViews[AXIS_YZ]->Refresh(false);
}

void CSceneViews::followDrawing(const data::CDrawingOptions& options)
{
    const data::CDrawingOptions::CColor& colour = options.getColor();
    m_drawing.mode = options.getDrawingMode();
    m_drawing.colour = wxColour(toByte(colour.red), toByte(colour.green), toByte(colour.blue));
    m_drawing.width = std::max(1, static_cast<int>(std::lround(options.getWidth())));
    if (m_drawing.mode != data::CDrawingOptions::MODE_STROKES)
    {
        for (COrthoView* view : m_orthoViews)
            view->clearStrokes();
    }
    updateCursors();
}

void CSceneViews::followModel(const data::CModel& model)
{
    const vctl::MCTriS* mesh = model.getMesh();
    // No model before and none now (a new data set, say): the view stays as it is drawn.
    if (mesh == nullptr && !m_modelView->hasModel())
    {
        m_shownMesh = nullptr;
        return;
    }
    osg::ref_ptr<osg::Geometry> geometry = mesh ? CMeshGeometry::build(*mesh, MODEL_COLOUR) : nullptr;
    // A new mesh (or the first one after none) gets the camera fitted; a mesh changed in
    // place (smoothing, decimation) keeps the user's view.
    const bool home = !m_modelView->hasModel() || mesh != m_shownMesh;
    m_shownMesh = mesh;
    m_modelView->setGeometry(geometry, home);
}

bool CSceneViews::setPosition(int axis, int index)
{
    if (axis < 0 || axis > 2 || !hasData())
        return false;
    index = std::clamp(index, 0, m_size[axis] - 1);
    if (axis != AXIS_XY)
    {
        if (index != m_position[axis])
        {
            m_position[axis] = index;
            m_orthoViews[axis]->invalidateSlice();
            for (int other : {0, 1, 2})
                if (other != axis)
                    m_orthoViews[other]->Refresh(false);
        }
        return true;
    }
    // The XY slice lives in the storage; the observer moves the view.
    auto slice = take<data::COrthoSliceXY>(m_storage, ENTRY_ORTHO_SLICE_XY);
    slice->setSize(m_size[0], m_size[1]);
    slice->setPosition(index);
    m_storage.invalidate(slice.getEntry(), 0);
    return true;
}

void CSceneViews::setWindow(const CDensityWindow& window)
{
    if (!(window == m_window))
    {
        m_window = window;
        m_greyTable = m_window.makeTable();
        invalidateSlices();
    }
    const int preset = m_window.findPreset();
    m_presetChoice->SetSelection(preset >= 0 ? preset : static_cast<int>(CDensityWindow::presets().size()));
    m_levelSpin->SetValue(m_window.getLevel());
    m_widthSpin->SetValue(m_window.getWidth());
}

void CSceneViews::invalidateSlices()
{
    for (COrthoView* view : m_orthoViews)
        view->invalidateSlice();
}

void CSceneViews::updateCursors()
{
    for (COrthoView* view : m_orthoViews)
        view->updateCursor();
}

void CSceneViews::renderNow()
{
    for (COrthoView* view : m_orthoViews)
    {
        view->updateSlice();
        view->Refresh(false);
        view->Update();
    }
    m_modelView->renderNow();
}

void CSceneViews::onPreset(wxCommandEvent& event)
{
    const auto& list = CDensityWindow::presets();
    const int index = event.GetSelection();
    if (index >= 0 && index < static_cast<int>(list.size()))
        setWindow(CDensityWindow(list[index].level, list[index].width));
}

void CSceneViews::onLevelOrWidth(wxSpinEvent&)
{
    setWindow(CDensityWindow(m_levelSpin->GetValue(), m_widthSpin->GetValue()));
}

} // namespace velmora::views
