#pragma once
// The automatic segmentation panel: GMM marking of samples, FCM, thresholding between two
// densities (either bound can be picked in the scene), median filter and morphology.
//
// Every command runs on the GUI thread, takes the storage entries it needs through object
// pointers for its whole run and announces what it changed. The panel keeps only its
// settings between commands: the spin values, the marking mode, the preview flag and the
// two samplers of marked samples.
//
// Scene connections: a pick request connects one handler to the hub's pointPicked signal;
// it handles exactly one pick and disconnects itself, and a new request replaces one still
// pending. The stroke handler holds the hub's exclusive stroke connection once marking
// started. Both are disconnected when the panel is destroyed.

#include "data/CActiveDataSet.h"
#include "data/CRegionColoring.h"
#include "data/CObjectObserver.h"
#include "plug/CPickRequest.h"
#include "plug/CPluginPanel.h"
#include "plugins/parvex/seg/CVolumeEM.h"
#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"
#include "toolkit/mod/CSignal.h"

#include <osg/Array>

#include <cstdint>

class wxCheckBox;
class wxCommandEvent;
class wxSpinCtrl;
class wxToggleButton;

namespace parvex {

class CParvexPanel : public plug::CPluginPanel, private data::CObjectObserver<data::CActiveDataSet>
{
public:
    //! Control identifiers, as offsets from the adapter's idBase.
    enum EControlIds : std::int32_t
    {
        ID_MARK_POSITIVE = 26,
        ID_MARK_NEGATIVE = 27,
        ID_CLEAR_SAMPLES = 28,
        ID_PREVIEW_MODE = 29,
        ID_PERFORM_GMM = 30,
        ID_FCM_REGIONS = 31,
        ID_PERFORM_FCM = 32,
        ID_LOWER_THRESHOLD = 46,
        ID_HIGHER_THRESHOLD = 47,
        ID_PERFORM_THRESHOLDING = 48,
        ID_PICK_LOWER = 49,
        ID_PICK_HIGHER = 50,
        ID_MEDIAN_SIZE = 56,
        ID_PERFORM_MEDIAN = 57,
        ID_ELEMENT_SIZE = 66,
        ID_DILATE = 67,
        ID_ERODE = 68
    };

    //! What the strokes of the scene are collected as.
    enum EMarkingMode : std::int32_t
    {
        MARK_NONE = 0,
        MARK_POSITIVE = 1,
        MARK_NEGATIVE = 2
    };


    //! Threshold spin range before a data set is loaded, and the defaults.
    static constexpr int THRESHOLD_MIN = -1500;
    static constexpr int THRESHOLD_MAX = 4000;
    static constexpr int LOWER_THRESHOLD_DEFAULT = 500;
    static constexpr int HIGHER_THRESHOLD_DEFAULT = 2500;
    //! Fuzziness of "Perform FCM Segmentation".
    static constexpr double FCM_FUZZINESS = 1.5;

    //! The adapter must not be null; the parent defaults to the application's top window.
    explicit CParvexPanel(plug::CGuiAdapter* adapter, wxWindow* parent = nullptr);
    ~CParvexPanel() override;

    //! Builds the controls and sizers, applies the size hints and centres the panel.
    bool prepare() override;
    //! Marking mode 0, preview on, binds the controls' events and observes the active data
    //! set (entry 11). Needs the bindings.
    bool connect() override;

    std::int32_t getMarkingMode() const { return m_markingMode; }
    bool isPreviewOn() const { return m_preview; }
    seg::CVoxelNeighbourhoodSampler& getPositiveSampler() { return *m_positiveSampler; }
    seg::CVoxelNeighbourhoodSampler& getNegativeSampler() { return *m_negativeSampler; }

private:
    // Active data set changed: the threshold spins follow the data's density range.
    void objectChanged(data::CActiveDataSet* dataSet) override;

    void onMarkToggle(wxCommandEvent& event);
    void onClearSamples(wxCommandEvent& event);
    void onPreviewMode(wxCommandEvent& event);
    void onPerformGmm(wxCommandEvent& event);
    void onPerformFcm(wxCommandEvent& event);
    void onPerformThresholding(wxCommandEvent& event);
    void onPickLower(wxCommandEvent& event);
    void onPickHigher(wxCommandEvent& event);
    void onPerformMedian(wxCommandEvent& event);
    void onDilate(wxCommandEvent& event);
    void onErode(wxCommandEvent& event);

    enum class ELabelFilter
    {
        Median,
        Dilation,
        Erosion,
    };
    //! Perform Median Filtering, Dilate and Erode: undo snapshot, regions shown, the filter
    //! run into a working copy of the labels with its progress window (the median with a
    //! source whose margin of "Filter Size" voxels is 0), the copy put back when the run
    //! completed, the region data announced (flags 2). A median window wider than the volume
    //! filters and announces nothing; dilation and erosion work on the active region.
    void runLabelFilter(ELabelFilter kind);
    //! True when the active region has a 16-bit label; otherwise says so and returns false.
    bool hasActiveLabel(const data::CRegionColoring& coloring);

    // Scene handlers.
    void onStrokeDrawn(const osg::Vec3Array* points, int state, int);

    //! Asks for the next pick (replacing a pending request), whose density goes into `spin`.
    void requestPick(wxSpinCtrl* spin);
    //! The density at the picked point into `spin`; a point outside the volume is ignored.
    void takePickedDensity(wxSpinCtrl* spin, float x, float y, float z);
    using tEstimator = seg::CVolumeEM<seg::CVoxelNeighbourhoodSampler>;
    //! Trains the estimator from both samplers' sets.
    void trainEstimator(tEstimator& estimator);
    //! Re-segments the current XY slice from the samples (GMM preview), after a snapshot of
    //! the slice when that changes any label.
    void runPreview();
    //! Releases both marking toggles.
    void releaseToggles();

    std::int32_t m_markingMode = MARK_NONE;
    bool m_preview = false;
    kvo::base::CRefPtr<seg::CVoxelNeighbourhoodSampler> m_positiveSampler;
    kvo::base::CRefPtr<seg::CVoxelNeighbourhoodSampler> m_negativeSampler;
    plug::CPickRequest m_pickRequest;
    kvo::mod::CConnection m_strokeConnection;

    wxToggleButton* m_markPositive = nullptr;
    wxToggleButton* m_markNegative = nullptr;
    wxCheckBox* m_previewMode = nullptr;
    wxSpinCtrl* m_fcmRegions = nullptr;
    wxSpinCtrl* m_lowerThreshold = nullptr;
    wxSpinCtrl* m_higherThreshold = nullptr;
    wxSpinCtrl* m_medianSize = nullptr;
    wxSpinCtrl* m_elementSize = nullptr;
};

} // namespace parvex
