#pragma once
// The model creation panel: marching cubes of the active region ("Run MC"), the later
// refinement steps (small-area reduction, smoothing, decimation, "RUN ALL"), the model's
// triangle and vertex counts and "Save Model".
//
// The panel observes the model (entry 801) for its whole life and shows the counts of
// every model it is told about. It keeps one marching cubes extractor from construction to
// destruction and its own field values; the model entry owns the meshes. Commands run on
// the GUI thread through CModelCommands.
//
// Fields that do not parse fall back to their defaults: threshold 500, Parameter 1 0.6073,
// Parameter 2 0.1, 5 iterations, and half the model's triangles for the end count.

#include "data/CModel.h"
#include "data/CObjectObserver.h"
#include "plug/CPluginPanel.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"

#include <cstdint>

class wxButton;
class wxCheckBox;
class wxCommandEvent;
class wxTextCtrl;

namespace ostrum {

class CModelCommands;

class COstrumPanel : public plug::CPluginPanel, private data::CObjectObserver<data::CModel>
{
public:
    //! Control identifiers, as offsets from the adapter's idBase.
    enum EControlIds : std::int32_t
    {
        ID_RUN_MC = 26,
        ID_FLOW_REDUCTION = 27,
        ID_CREATE = 28,
        ID_REDUCE_SMALL_AREAS = 36,
        ID_SMALL_AREA_THRESHOLD = 37,
        ID_RUN_SMOOTHING = 46,
        ID_SMOOTHING_PARAMETER_1 = 47,
        ID_SMOOTHING_PARAMETER_2 = 48,
        ID_SMOOTHING_ITERATIONS = 49,
        ID_RUN_DECIMATION = 56,
        ID_END_TRIANGLES = 57,
        ID_RUN_ALL = 76,
        ID_TRIANGLES_COUNT = 87,
        ID_NODES_COUNT = 88,
        ID_SAVE_MODEL = 96
    };


    //! The adapter must not be null; the parent defaults to the application's top window.
    explicit COstrumPanel(plug::CGuiAdapter* adapter, wxWindow* parent = nullptr);
    ~COstrumPanel() override;

    //! Builds the controls and sizers, applies the size hints and centres the panel.
    bool prepare() override;
    //! Observes the model entry, then binds the buttons. Needs the bindings.
    bool connect() override;

    //! "Run MC" (see CModelCommands::createModel) with the "Flow reduction" switch.
    bool createModel();
    //! "Reduce Small Areas", "Run Smoothing", "Run Decimation" with the values of their
    //! fields (see CModelCommands).
    bool reduceSmallAreas();
    bool smoothModel();
    bool decimateModel();
    //! "RUN ALL": Run MC, Reduce Small Areas, Run Smoothing and Run Decimation in this
    //! order. A step that fails for want of a mesh does not stop the later ones; a step the
    //! user cancelled does, and the model stays as the last completed step left it.
    //! Returns the result of the decimation (false when a step was cancelled).
    bool runAll();
    //! "Save Model" (see CModelCommands::saveModel).
    bool saveModel();
    //! The count fields from the model: its mesh's triangles and vertices, "0" and "0"
    //! without a model or mesh.
    void updateCounters(const data::CModel* model);

    CMarchingCubes& getMarchingCubes() { return m_marchingCubes; }

private:
    void objectChanged(data::CModel* model) override { updateCounters(model); }

    void onRunMc(wxCommandEvent& event);
    void onReduceSmallAreas(wxCommandEvent& event);
    void onRunSmoothing(wxCommandEvent& event);
    void onRunDecimation(wxCommandEvent& event);
    void onRunAll(wxCommandEvent& event);
    void onSaveModel(wxCommandEvent& event);

    // The steps on one commands object, which tells RUN ALL about a cancel.
    bool reduceSmallAreas(CModelCommands& commands);
    bool smoothModel(CModelCommands& commands);
    bool decimateModel(CModelCommands& commands);

    CMarchingCubes m_marchingCubes;

    // The controls, null until prepare.
    wxCheckBox* m_flowReduction = nullptr;
    wxCheckBox* m_create = nullptr;
    wxTextCtrl* m_smallAreaThreshold = nullptr;
    wxButton* m_reduceSmallAreas = nullptr;
    wxTextCtrl* m_smoothingParameter1 = nullptr;
    wxTextCtrl* m_smoothingParameter2 = nullptr;
    wxTextCtrl* m_smoothingIterations = nullptr;
    wxButton* m_runSmoothing = nullptr;
    wxTextCtrl* m_endTriangles = nullptr;
    wxButton* m_runDecimation = nullptr;
    wxTextCtrl* m_trianglesCount = nullptr;
    wxTextCtrl* m_nodesCount = nullptr;
    wxButton* m_saveModel = nullptr;
};

} // namespace ostrum
