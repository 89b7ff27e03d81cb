#include "plugins/parvex/CParvexPanel.h"

#include "data/CDataStats.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CObjectPtr.h"
#include "data/COrthoSliceXY.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CUndoManager.h"
#include "data/StorageEntries.h"
#include "plug/CAppSceneHub.h"
#include "plug/Dialogs.h"
#include "plugins/parvex/seg/CASVolumeFCM.h"
#include "plugins/parvex/seg/CBinaryDilation.h"
#include "plugins/parvex/seg/CBinaryErosion.h"
#include "plugins/parvex/seg/CThresholdFilter.h"
#include "plugins/parvex/seg/VoxelIndex.h"
#include "toolkit/img/CVolumeMedianFilter.h"
#include "toolkit/sys/MemoryPages.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/intl.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/tglbtn.h>

namespace parvex {

using namespace data::entries;

namespace {

// Every entry of a command is requested with these flags: created on first use, brought
// up to date by the object pointer.
constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

// Static texts sit in the standard static identifier.
constexpr int STATIC_TEXT_ID = wxID_STATIC;

// The layouts of the table of controls.
const int CONTROL_FLAGS = int(wxALIGN_CENTER_VERTICAL) | int(wxALL);
constexpr int BORDER = 5;

wxBoxSizer* addRow(wxStaticBoxSizer* group, int proportion = 0)
{
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    group->Add(row, proportion, wxEXPAND, 0);
    return row;
}

void addLabel(wxStaticBoxSizer* group, wxBoxSizer* row, const wxString& text)
{
    row->Add(new wxStaticText(group->GetStaticBox(), STATIC_TEXT_ID, wxGetTranslation(text)), 0, CONTROL_FLAGS,
             BORDER);
}

template <class TControl>
TControl* withTip(TControl* control, const wxString& tip)
{
    if (!tip.empty())
        control->SetToolTip(wxGetTranslation(tip));
    return control;
}

// The density entry of the active data set.
data::CEntryPtr activeDensityEntry(data::CDataStorage& storage)
{
    data::CObjectPtr<data::CActiveDataSet> dataSet(storage.getEntry(ENTRY_ACTIVE_DATA_SET, REQUEST));
    return storage.getEntry(dataSet->getDataSetId(), REQUEST);
}

} // namespace

CParvexPanel::CParvexPanel(plug::CGuiAdapter* adapter, wxWindow* parent)
    : CPluginPanel(adapter, parent),
      m_positiveSampler(new seg::CVoxelNeighbourhoodSampler),
      m_negativeSampler(new seg::CVoxelNeighbourhoodSampler)
{
}

CParvexPanel::~CParvexPanel()
{
    // The hub outlives the panels; its signals must not call into a destroyed panel.
    if (hasBindings())
    {
        if (CAppSceneHub* hub = getBindings().getSceneHubPointer())
        {
            if (m_strokeConnection.signal == &hub->strokeDrawn)
                hub->strokeDrawn.disconnect(m_strokeConnection.id);
        }
    }
    m_positiveSampler.reset();
    m_negativeSampler.reset();
    // The observer part detaches itself from entry 11 as it is destroyed.
}

bool CParvexPanel::prepare()
{
    if (!CPluginPanel::prepare())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    auto* main = new wxBoxSizer(wxVERTICAL);
    auto newGroup = [&](const wxString& label) {
        auto* group = new wxStaticBoxSizer(wxVERTICAL, this, wxGetTranslation(label));
        main->Add(group, 0, wxEXPAND | wxALL, BORDER);
        return group;
    };
    auto spin = [&](wxStaticBoxSizer* group, int offset, int minimum, int maximum, int initial) {
        return new wxSpinCtrl(group->GetStaticBox(), adapter.getId(offset), wxEmptyString, wxDefaultPosition,
                              wxDefaultSize, wxSP_ARROW_KEYS, minimum, maximum, initial);
    };
    auto button = [&](wxStaticBoxSizer* group, int offset, const wxString& label, const wxString& tip) {
        return withTip(new wxButton(group->GetStaticBox(), adapter.getId(offset), wxGetTranslation(label)), tip);
    };

    // GMM segmentation
    wxStaticBoxSizer* gmm = newGroup("GMM Segmentation");
    wxBoxSizer* row = addRow(gmm);
    m_markPositive = withTip(new wxToggleButton(gmm->GetStaticBox(), adapter.getId(ID_MARK_POSITIVE),
                                                wxGetTranslation("Mark Positive")),
                             "Allows you to select voxel samples for training positive GMM model.");
    row->Add(m_markPositive, 1, CONTROL_FLAGS, BORDER);
    m_markNegative = withTip(new wxToggleButton(gmm->GetStaticBox(), adapter.getId(ID_MARK_NEGATIVE),
                                                wxGetTranslation("Mark Negative")),
                             "Allows you to select voxel samples for training negative GMM model.");
    row->Add(m_markNegative, 1, CONTROL_FLAGS, BORDER);
    row = addRow(gmm);
    m_previewMode = withTip(new wxCheckBox(gmm->GetStaticBox(), adapter.getId(ID_PREVIEW_MODE),
                                           wxGetTranslation("Preview Mode")),
                            "Enables the preview mode which is usefull during GMM adjusting. In the preview mode, "
                            "only the current ortho slice is segmented.");
    m_previewMode->SetValue(true);
    row->Add(m_previewMode, 1, CONTROL_FLAGS, BORDER);
    row->Add(button(gmm, ID_CLEAR_SAMPLES, "Clear Samples", "Clears both the positive and the negative GMM models."),
             1, CONTROL_FLAGS, BORDER);
    row = addRow(gmm);
    row->Add(button(gmm, ID_PERFORM_GMM, "Perform GMM Segmentation",
                    "Applies the GMM-based segmentation to the whole volumetric data."),
             1, CONTROL_FLAGS, BORDER);

    // FCM segmentation
    wxStaticBoxSizer* fcm = newGroup("FCM Segmentation");
    row = addRow(fcm);
    addLabel(fcm, row, "Num. of Regions");
    m_fcmRegions = withTip(spin(fcm, ID_FCM_REGIONS, 0, 100, 0),
                           "Number of regions. Enter zero to estimate the optimal value automatically.");
    row->Add(m_fcmRegions, 1, CONTROL_FLAGS, BORDER);
    row = addRow(fcm);
    row->Add(button(fcm, ID_PERFORM_FCM, "Perform FCM Segmentation", "Performs the Fuzzy C-Means segmentation."), 1,
             CONTROL_FLAGS, BORDER);

    // Thresholding
    wxStaticBoxSizer* threshold = newGroup("Thresholding");
    row = addRow(threshold);
    addLabel(threshold, row, "Lower Threshold");
    m_lowerThreshold = spin(threshold, ID_LOWER_THRESHOLD, THRESHOLD_MIN, THRESHOLD_MAX, LOWER_THRESHOLD_DEFAULT);
    row->Add(m_lowerThreshold, 1, CONTROL_FLAGS, BORDER);
    row = addRow(threshold);
    addLabel(threshold, row, "Higher Threshold");
    m_higherThreshold = spin(threshold, ID_HIGHER_THRESHOLD, THRESHOLD_MIN, THRESHOLD_MAX, HIGHER_THRESHOLD_DEFAULT);
    row->Add(m_higherThreshold, 1, CONTROL_FLAGS, BORDER);
    row = addRow(threshold);
    const wxString pickTip = "Press the button and then click any point in the 3D/ortho scene.";
    row->Add(button(threshold, ID_PICK_LOWER, "Pick Lower", pickTip), 1, CONTROL_FLAGS, BORDER);
    row->Add(button(threshold, ID_PICK_HIGHER, "Pick Higher", pickTip), 1, CONTROL_FLAGS, BORDER);
    threshold->Add(button(threshold, ID_PERFORM_THRESHOLDING, "Perform Thresholding",
                          "Performs simple thresholding of the original image data."),
                   1, wxEXPAND | wxALL, BORDER);

    // Median filter
    wxStaticBoxSizer* median = newGroup("Median Filter");
    row = addRow(median);
    addLabel(median, row, "Filter Size");
    m_medianSize = withTip(spin(median, ID_MEDIAN_SIZE, 1, 9, 1), "Set filter radius.");
    row->Add(m_medianSize, 1, CONTROL_FLAGS, BORDER);
    median->Add(button(median, ID_PERFORM_MEDIAN, "Perform Median Filtering",
                       "Applies median filter of the specified radius to the segmented data."),
                1, wxEXPAND | wxALL, BORDER);

    // Morphological operations
    wxStaticBoxSizer* morphology = newGroup("Morphological Operations");
    row = addRow(morphology, 1);
    addLabel(morphology, row, "Element Size");
    m_elementSize = withTip(spin(morphology, ID_ELEMENT_SIZE, 1, 20, 1),
                            "Set structural element size - higher value means larger influence radius.");
    row->Add(m_elementSize, 1, CONTROL_FLAGS, BORDER);
    row = addRow(morphology);
    row->Add(button(morphology, ID_DILATE, "Dilate", "Applies the binary dilatation to the segmented data."), 1,
             CONTROL_FLAGS, BORDER);
    row->Add(button(morphology, ID_ERODE, "Erode", "Applies the binary erosion to the segmented data."), 1,
             CONTROL_FLAGS, BORDER);

    SetSizer(main);
    main->SetSizeHints(this);
    Centre(wxBOTH);
    return true;
}

bool CParvexPanel::connect()
{
    if (!CPluginPanel::connect())
        return false;
    m_markingMode = MARK_NONE;
    m_preview = true;
    const plug::CGuiAdapter& adapter = getAdapter();
    Bind(wxEVT_TOGGLEBUTTON, &CParvexPanel::onMarkToggle, this, adapter.getId(ID_MARK_POSITIVE));
    Bind(wxEVT_TOGGLEBUTTON, &CParvexPanel::onMarkToggle, this, adapter.getId(ID_MARK_NEGATIVE));
    Bind(wxEVT_BUTTON, &CParvexPanel::onClearSamples, this, adapter.getId(ID_CLEAR_SAMPLES));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPerformGmm, this, adapter.getId(ID_PERFORM_GMM));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPerformFcm, this, adapter.getId(ID_PERFORM_FCM));
    Bind(wxEVT_CHECKBOX, &CParvexPanel::onPreviewMode, this, adapter.getId(ID_PREVIEW_MODE));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPerformThresholding, this, adapter.getId(ID_PERFORM_THRESHOLDING));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPerformMedian, this, adapter.getId(ID_PERFORM_MEDIAN));
    Bind(wxEVT_BUTTON, &CParvexPanel::onDilate, this, adapter.getId(ID_DILATE));
    Bind(wxEVT_BUTTON, &CParvexPanel::onErode, this, adapter.getId(ID_ERODE));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPickLower, this, adapter.getId(ID_PICK_LOWER));
    Bind(wxEVT_BUTTON, &CParvexPanel::onPickHigher, this, adapter.getId(ID_PICK_HIGHER));
    getBindings().getStorage().connectObserver(ENTRY_ACTIVE_DATA_SET, this);
    return true;
}

void CParvexPanel::objectChanged(data::CActiveDataSet*)
{
    data::CDataStorage& storage = getBindings().getStorage();
    data::CObjectPtr<data::CDataStats> stats(storage.getEntry(ENTRY_DATA_STATS, REQUEST));
    const int minimum = stats->getMin();
    const int maximum = stats->getMax();
    // A spin control told its range anew is laid out and drawn again with the whole pane,
    // so only what changes is set (scans of one kind share their density range).
    auto show = [minimum, maximum](wxSpinCtrl* spin, int value) {
        if (spin->GetMin() != minimum || spin->GetMax() != maximum)
            spin->SetRange(minimum, maximum);
        if (spin->GetValue() != value)
            spin->SetValue(value);
    };
    show(m_lowerThreshold, minimum);
    show(m_higherThreshold, maximum);
}

bool CParvexPanel::hasActiveLabel(const data::CRegionColoring& coloring)
{
    // Labels are 16 bits: an active index beyond the largest label would wrap around and
    // overwrite another region, so such a run changes nothing.
    if (coloring.getActive() >= 0 && coloring.getActive() <= 0xFFFF)
        return true;
    plug::showMessage(*this, "The active region has no label number (the largest is 65535); choose another active region.",
                      "Error", wxOK | wxICON_ERROR);
    return false;
}

void CParvexPanel::onPerformThresholding(wxCommandEvent&)
{
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    {
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        data::CObjectPtr<data::CRegionColoring> coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        if (!hasActiveLabel(*coloring))
            return;
        const auto activeRegion = static_cast<std::uint16_t>(coloring->getActive());
        const auto lower = static_cast<std::int16_t>(m_lowerThreshold->GetValue());
        const auto higher = static_cast<std::int16_t>(m_higherThreshold->GetValue());
        data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));

        const data::CUndoProvider::tSnapshotPtr snapshot = regions->createVolumeSnapshot();
        history->insert(snapshot);
        regions->show(true);
        // A refused or cancelled run leaves the labels as they were. When the filter writes
        // every voxel and the undo snapshot holds them all, it writes straight into the
        // labels and a stopped run puts the snapshot back: no volume is allocated or copied.
        // Labels still in the zero memory of a load are the exception: writing over the
        // shared zero page costs several times writing fresh memory, so the filter writes a
        // fresh volume, mapped at once on several cores. Otherwise it writes into a copy of
        // the labels. A finished run hands the voxels it wrote to the region volume.
        const bool filterWritesAll = regions->getMargin() == 0 && density->getXSize() == regions->getXSize() &&
                                     density->getYSize() == regions->getYSize() &&
                                     density->getZSize() == regions->getZSize();
        const auto* whole = dynamic_cast<const data::CRegionData::tUndo::tVolumeSnapshot*>(snapshot.get());
        const bool fresh = filterWritesAll && regions->getBlock()->isZeroedMemory();
        const bool inPlace = filterWritesAll && !fresh && whole &&
                             whole->getCode().getEncodedCount() == std::size_t(regions->getXSize()) *
                                                                      std::size_t(regions->getYSize()) *
                                                                      std::size_t(regions->getZSize());
        data::CRegionData working = inPlace ? data::CRegionData()
                                    : fresh ? data::CRegionData(regions->getXSize(), regions->getYSize(), regions->getZSize())
                                            : data::CRegionData(*regions);
        if (fresh)
            kvo::sys::mapPages(working.getBlock()->getData(), working.getBufferSize() * sizeof(std::uint16_t),
                               kvo::sys::CPageUse::WRITE);
        std::unique_ptr<plug::CProgressReporter> progress =
            plug::createProgress(*this, wxGetTranslation("Applying thresholding filter, please wait..."), 100);
        seg::CThresholdFilter filter;
        filter.setInput(density.get());
        filter.setOutput(inPlace ? regions.get() : &working);
        filter.setLabels(activeRegion, 0);
        filter.setBounds(lower, higher);
        filter.setProgressCallback(
            seg::CThresholdFilter::tProgressCallback(progress.get(), &plug::CProgressReporter::updateProgress));
        progress->Show(true);
        bool done = false;
        try
        {
            done = filter.run();
        }
        catch (...)
        {
            if (inPlace)
                regions->restore(snapshot.get());
            throw;
        }
        if (inPlace && !done)
            regions->restore(snapshot.get());
        else if (!inPlace && done)
            regions->swapVoxels(working);
        progress.reset();
    }
    storage.invalidate(regionsEntry, data::CDataStorage::INVALIDATE_UPDATE);
}

void CParvexPanel::onPickLower(wxCommandEvent&) { requestPick(m_lowerThreshold); }
void CParvexPanel::onPickHigher(wxCommandEvent&) { requestPick(m_higherThreshold); }

void CParvexPanel::requestPick(wxSpinCtrl* spin)
{
    m_pickRequest.start(getBindings().getSceneHub(),
                        [this, spin](float x, float y, float z) { takePickedDensity(spin, x, y, z); });
}

void CParvexPanel::takePickedDensity(wxSpinCtrl* spin, float x, float y, float z)
{
    data::CDataStorage& storage = getBindings().getStorage();
    data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
    std::int32_t xi = 0, yi = 0, zi = 0;
    if (!seg::roundedIndex(x, density->getXSize(), xi) || !seg::roundedIndex(y, density->getYSize(), yi) ||
        !seg::roundedIndex(z, density->getZSize(), zi))
        return;
    spin->SetValue(static_cast<std::int16_t>(density->at(xi, yi, zi)));
}

void CParvexPanel::onMarkToggle(wxCommandEvent& event)
{
    const bool positive = event.GetId() == getAdapter().getId(ID_MARK_POSITIVE);
    wxToggleButton* toggle = positive ? m_markPositive : m_markNegative;
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr optionsEntry = storage.getEntry(ENTRY_DRAWING_OPTIONS, REQUEST);
    const bool pressed = toggle->GetValue();
    {
        data::CObjectPtr<data::CDrawingOptions> options(optionsEntry);
        if (pressed)
        {
            if (positive)
                options->setColor(0.0f, 0.0f, 1.0f, 1.0f);
            else
                options->setColor(1.0f, 0.0f, 0.0f, 1.0f);
            options->setDrawingMode(data::CDrawingOptions::MODE_STROKES);
            options->setWidth(2.0f);
        }
        else
            options->setDrawingMode(data::CDrawingOptions::MODE_NONE);
    }
    storage.invalidate(optionsEntry, 0);
    if (!pressed)
        return; // marking mode and stroke connection stay
    // Taking the stroke input tells its previous holder, this panel too, that it lost it
    // (state 0 releases the toggles). That release is not the user's: the pressed toggle is
    // set again and the other one keeps the state it had, so both may stay pressed.
    wxToggleButton* other = positive ? m_markNegative : m_markPositive;
    const bool otherPressed = other->GetValue();
    m_strokeConnection = getBindings().getSceneHub().connectStrokeExclusive(
        CAppSceneHub::tStrokeSignal::tFunctor(this, &CParvexPanel::onStrokeDrawn));
    other->SetValue(otherPressed);
    toggle->SetValue(true);
    m_markingMode = positive ? MARK_POSITIVE : MARK_NEGATIVE;
}

void CParvexPanel::onStrokeDrawn(const osg::Vec3Array* points, int state, int)
{
    if (state == 1)
        return; // the stroke input was handed to this panel
    if (state == 0)
    {
        releaseToggles();
        m_markingMode = MARK_NONE;
        return;
    }
    {
        data::CDataStorage& storage = getBindings().getStorage();
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        seg::CVoxelNeighbourhoodSampler* sampler = m_markingMode == MARK_POSITIVE   ? m_positiveSampler.get()
                                                   : m_markingMode == MARK_NEGATIVE ? m_negativeSampler.get()
                                                                                    : nullptr;
        if (sampler && points)
        {
            for (const osg::Vec3f& point : *points)
                sampler->addSamples(point, *density);
        }
    }
    // A stroke with no marking mode adds no samples, so it has nothing to preview.
    if (m_preview && m_markingMode != MARK_NONE)
        runPreview();
}

void CParvexPanel::onClearSamples(wxCommandEvent&)
{
    releaseToggles();
    m_markingMode = MARK_NONE;
    m_positiveSampler->getTrainingSet().clear();
    m_negativeSampler->getTrainingSet().clear();
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    {
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        // Clearing wipes every label; the snapshot lets Undo bring them back.
        data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
        history->insert(regions->createVolumeSnapshot());
        regions->fill(0);
    }
    storage.invalidate(regionsEntry, 0);
}

void CParvexPanel::onPreviewMode(wxCommandEvent&) { m_preview = m_previewMode->GetValue(); }

void CParvexPanel::releaseToggles()
{
    m_markPositive->SetValue(false);
    m_markNegative->SetValue(false);
}

void CParvexPanel::trainEstimator(tEstimator& estimator)
{
    estimator.train(m_positiveSampler->getTrainingSet(), m_negativeSampler->getTrainingSet());
}

void CParvexPanel::runPreview()
{
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    {
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        tEstimator estimator;
        trainEstimator(estimator);
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        data::CObjectPtr<data::COrthoSliceXY> slice(storage.getEntry(ENTRY_ORTHO_SLICE_XY, REQUEST));
        regions->show(true);
        // The preview rewrites the user's labels on this slice: a snapshot of the slice as
        // it was lets Undo take back one stroke's preview at a time. A preview that changes
        // nothing records nothing.
        if (!slice->isSliceOperationSuppressed())
        {
            data::CUndoProvider::tSnapshotPtr before = regions->createPlaneXYSnapshot(slice->getPosition());
            if (estimator.segmentSlice(*density, *regions, *slice) > 0)
            {
                data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
                history->insert(before);
            }
        }
    }
    storage.invalidate(regionsEntry, 0);
}

void CParvexPanel::onPerformGmm(wxCommandEvent&)
{
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    {
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        tEstimator estimator;
        trainEstimator(estimator);
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        regions->show(true);
        data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
        history->insert(regions->createVolumeSnapshot());
        estimator.segment(*density, *regions, 0);
    }
    storage.invalidate(regionsEntry, 0);
}

void CParvexPanel::onPerformFcm(wxCommandEvent&)
{
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    const data::CEntryPtr coloringEntry = storage.getEntry(ENTRY_REGION_COLORING, REQUEST);
    {
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        regions->resize(density->getXSize(), density->getYSize(), density->getZSize(), 0);
        regions->show(true);
        seg::CASVolumeFCM fcm(m_fcmRegions->GetValue(), FCM_FUZZINESS);
        data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
        history->insert(regions->createVolumeSnapshot());
        fcm.run(*density, *regions);
        // The colour table needs an entry per label beside 0, and one more.
        const int needed = fcm.getClusterCount() + 1;
        bool grown = false;
        {
            data::CObjectPtr<data::CRegionColoring> coloring(coloringEntry);
            if (coloring->getCount() < needed)
            {
                coloring->resize(needed, true);
                grown = true;
            }
        }
        if (grown)
            storage.invalidate(coloringEntry, 0);
    }
    storage.invalidate(regionsEntry, 0);
}

void CParvexPanel::onPerformMedian(wxCommandEvent&) { runLabelFilter(ELabelFilter::Median); }
void CParvexPanel::onDilate(wxCommandEvent&) { runLabelFilter(ELabelFilter::Dilation); }
void CParvexPanel::onErode(wxCommandEvent&) { runLabelFilter(ELabelFilter::Erosion); }

void CParvexPanel::runLabelFilter(ELabelFilter kind)
{
    data::CDataStorage& storage = getBindings().getStorage();
    const data::CEntryPtr regionsEntry = storage.getEntry(ENTRY_REGION_DATA, REQUEST);
    {
        data::CObjectPtr<data::CDensityData> density(activeDensityEntry(storage));
        data::CObjectPtr<data::CRegionData> regions(regionsEntry);
        data::CObjectPtr<data::CRegionColoring> coloring(storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        if (kind != ELabelFilter::Median && !hasActiveLabel(*coloring))
            return;
        const auto active = static_cast<std::uint16_t>(coloring->getActive());
        {
            data::CObjectPtr<data::CUndoManager> history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
            history->insert(regions->createVolumeSnapshot());
        }
        regions->show(true);
        const std::int32_t radius = (kind == ELabelFilter::Median ? m_medianSize : m_elementSize)->GetValue();
        const std::int32_t xSize = regions->getXSize(), ySize = regions->getYSize(), zSize = regions->getZSize();
        // A median window wider than the volume: nothing to filter, nothing announced.
        if (kind == ELabelFilter::Median && (xSize < 2 * radius || ySize < 2 * radius || zSize < 2 * radius))
            return;

        // The filter writes into a copy, so a refused or cancelled run leaves the labels.
        data::CRegionData working(*regions);
        const char* message = kind == ELabelFilter::Median     ? "Applying median filter, please wait..."
                              : kind == ELabelFilter::Dilation ? "Applying dilation filter, please wait..."
                                                               : "Applying erosion filter, please wait...";
        std::unique_ptr<plug::CProgressReporter> progress = plug::createProgress(*this, wxGetTranslation(message), 100);
        const kvo::mod::CProgress::tProgressCallback callback(progress.get(), &plug::CProgressReporter::updateProgress);
        progress->Show(true);
        bool done = false;
        if (kind == ELabelFilter::Median)
        {
            // Windows that reach past a face see label 0 there.
            data::CRegionData source(xSize, ySize, zSize, radius);
            source.fillMargin(0);
            source.copyBlock(*regions);
            kvo::img::CVolumeMedianFilter<data::CRegionData> filter(2 * radius + 1);
            filter.setProgressCallback(callback);
            done = filter(source, working);
        }
        else
        {
            const seg::CBinaryMorphology::tElement element = seg::CBinaryMorphology::makeStructuringElement(radius);
            auto run = [&](auto& filter) {
                filter.setObjectLabel(active);
                filter.setElementValue(true);
                filter.setWriteLabel(active);
                filter.setCentre(radius, radius, radius);
                filter.setProgressCallback(callback);
                return filter.run();
            };
            if (kind == ELabelFilter::Dilation)
            {
                seg::CBinaryDilation dilation(regions.get(), &working, &element);
                done = run(dilation);
            }
            else
            {
                seg::CBinaryErosion erosion(regions.get(), &working, &element);
                erosion.setBackgroundLabel(0);
                done = run(erosion);
            }
        }
        if (done)
            *regions = working;
        progress.reset();
    }
    storage.invalidate(regionsEntry, data::CDataStorage::INVALIDATE_UPDATE);
}

} // namespace parvex
