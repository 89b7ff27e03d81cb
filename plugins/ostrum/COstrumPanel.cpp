#include "plugins/ostrum/COstrumPanel.h"

#include "data/CDataStorage.h"
#include "data/StorageEntries.h"
#include "plugins/ostrum/CModelCommands.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "vctl/MCTriS.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/intl.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <optional>
#include <sstream>

namespace ostrum {

using namespace data::entries;

namespace {

const int CONTROL_FLAGS = int(wxALIGN_CENTER_VERTICAL) | int(wxALL);
const int BUTTON_FLAGS = int(wxEXPAND) | int(wxALL);
constexpr int BORDER = 5;

// The count fields show integers as decimal text.
wxString decimal(std::int64_t value)
{
    std::ostringstream text;
    text << value;
    return wxString::FromUTF8(text.str());
}

// Field values, each with its fallback when the text does not parse. Whole numbers are
// read as signed decimals, so that a negative count is a count below 1, not a huge one.
std::optional<long> wholeNumber(const wxTextCtrl* field)
{
    long value = 0;
    if (field && field->GetValue().ToLong(&value, 10))
        return value;
    return std::nullopt;
}
double realNumber(const wxTextCtrl* field, double fallback)
{
    double value = 0.0;
    return field && field->GetValue().ToCDouble(&value) ? value : fallback;
}

constexpr long DEFAULT_SMALL_AREA_THRESHOLD = 500;

} // namespace

COstrumPanel::COstrumPanel(plug::CGuiAdapter* adapter, wxWindow* parent) : CPluginPanel(adapter, parent) {}

// The observer part detaches itself from entry 801 as it is destroyed.
COstrumPanel::~COstrumPanel() = default;

bool COstrumPanel::prepare()
{
    if (!CPluginPanel::prepare())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    auto* main = new wxBoxSizer(wxVERTICAL);
    auto newGroup = [&](const wxString& title) {
        auto* group = new wxStaticBoxSizer(wxVERTICAL, this, wxGetTranslation(title));
        main->Add(group, 0, wxEXPAND | wxALL, BORDER);
        return group;
    };
    auto newRow = [](wxStaticBoxSizer* group) {
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        group->Add(row, 0, wxEXPAND, 0);
        return row;
    };
    auto label = [](wxStaticBoxSizer* group, wxBoxSizer* row, const wxString& text) {
        row->Add(new wxStaticText(group->GetStaticBox(), wxID_STATIC, wxGetTranslation(text)), 0, CONTROL_FLAGS,
                 BORDER);
    };
    auto field = [&](wxStaticBoxSizer* group, wxBoxSizer* row, int offset, const wxString& value,
                     unsigned long maxLength, long style = 0) {
        auto* text = new wxTextCtrl(group->GetStaticBox(), adapter.getId(offset), value, wxDefaultPosition,
                                    wxDefaultSize, style);
        if (maxLength > 0)
            text->SetMaxLength(maxLength);
        row->Add(text, 1, CONTROL_FLAGS, BORDER);
        return text;
    };
    // `text` is used as it stands; the callers translate where the text is translated.
    auto button = [&](wxStaticBoxSizer* group, wxBoxSizer* row, int offset, const wxString& text,
                      const wxString& tip) {
        auto* created = new wxButton(group->GetStaticBox(), adapter.getId(offset), text);
        if (!tip.empty())
            created->SetToolTip(wxGetTranslation(tip));
        row->Add(created, 1, BUTTON_FLAGS, BORDER);
        return created;
    };

    // Marching cubes
    wxStaticBoxSizer* cubes = newGroup("Marching Cubes");
    wxBoxSizer* row = newRow(cubes);
    m_flowReduction = new wxCheckBox(cubes->GetStaticBox(), adapter.getId(ID_FLOW_REDUCTION), "Flow reduction");
    m_flowReduction->SetValue(true);
    row->Add(m_flowReduction, 0, CONTROL_FLAGS, BORDER);
    m_create = new wxCheckBox(cubes->GetStaticBox(), adapter.getId(ID_CREATE), "Create");
    m_create->SetValue(true);
    row->Add(m_create, 0, CONTROL_FLAGS, BORDER);
    button(cubes, row, ID_RUN_MC, "Run MC", "Creates surface model from the active segmentation layer/region.");

    // Small areas reduction
    wxStaticBoxSizer* smallAreas = newGroup("Small Areas Reduction");
    row = newRow(smallAreas);
    label(smallAreas, row, "Small area treshold");
    m_smallAreaThreshold = field(smallAreas, row, ID_SMALL_AREA_THRESHOLD, "500", 5);
    m_reduceSmallAreas = button(smallAreas, row, ID_REDUCE_SMALL_AREAS, wxGetTranslation("Reduce Small Areas"),
                                "Filtering of small isolated parts of the model.");

    // Smoothing: one row per parameter, the button in the iterations row.
    wxStaticBoxSizer* smoothing = newGroup("Smoothing");
    row = newRow(smoothing);
    label(smoothing, row, "Parameter 1");
    m_smoothingParameter1 = field(smoothing, row, ID_SMOOTHING_PARAMETER_1, "0.6073", 10);
    row = newRow(smoothing);
    label(smoothing, row, "Parameter 2");
    m_smoothingParameter2 = field(smoothing, row, ID_SMOOTHING_PARAMETER_2, "0.1", 10);
    row = newRow(smoothing);
    label(smoothing, row, "Number of iterations");
    m_smoothingIterations = field(smoothing, row, ID_SMOOTHING_ITERATIONS, "5", 0);
    m_runSmoothing =
        button(smoothing, row, ID_RUN_SMOOTHING, wxGetTranslation("Run Smoothing"), "Smoothing of the model.");

    // Decimation
    wxStaticBoxSizer* decimation = newGroup("Decimation");
    row = newRow(decimation);
    label(decimation, row, "End triangles count");
    m_endTriangles = field(decimation, row, ID_END_TRIANGLES, "100000", 10);
    m_runDecimation = button(decimation, row, ID_RUN_DECIMATION, wxGetTranslation("Run Decimation"),
                             "Decimate the model by removing unecessary details.");

    // The whole pipeline
    main->Add(new wxButton(this, adapter.getId(ID_RUN_ALL), "RUN ALL"), 0, wxALIGN_CENTER_HORIZONTAL | wxALL,
              BORDER);

    // Model: the counts are shown, never edited.
    wxStaticBoxSizer* model = newGroup("Model");
    row = newRow(model);
    label(model, row, "Triangles count");
    m_trianglesCount = field(model, row, ID_TRIANGLES_COUNT, "0", 0, wxTE_READONLY);
    m_trianglesCount->Enable(false);
    row = newRow(model);
    label(model, row, "Nodes count");
    m_nodesCount = field(model, row, ID_NODES_COUNT, "0", 0, wxTE_READONLY);
    m_nodesCount->Enable(false);
    m_saveModel = button(model, row, ID_SAVE_MODEL, wxGetTranslation("Save Model"), "Saves the surface model.");

    SetSizer(main);
    main->SetSizeHints(this);
    Centre(wxBOTH);
    return true;
}

bool COstrumPanel::connect()
{
    getBindings().getStorage().connectObserver(ENTRY_MODEL, this);
    if (!CPluginPanel::connect())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    Bind(wxEVT_BUTTON, &COstrumPanel::onRunMc, this, adapter.getId(ID_RUN_MC));
    Bind(wxEVT_BUTTON, &COstrumPanel::onReduceSmallAreas, this, adapter.getId(ID_REDUCE_SMALL_AREAS));
    Bind(wxEVT_BUTTON, &COstrumPanel::onRunSmoothing, this, adapter.getId(ID_RUN_SMOOTHING));
    Bind(wxEVT_BUTTON, &COstrumPanel::onRunDecimation, this, adapter.getId(ID_RUN_DECIMATION));
    Bind(wxEVT_BUTTON, &COstrumPanel::onRunAll, this, adapter.getId(ID_RUN_ALL));
    Bind(wxEVT_BUTTON, &COstrumPanel::onSaveModel, this, adapter.getId(ID_SAVE_MODEL));
    return true;
}

bool COstrumPanel::createModel()
{
    const bool flowReduction = m_flowReduction && m_flowReduction->GetValue();
    return CModelCommands(*this).createModel(m_marchingCubes, flowReduction);
}

bool COstrumPanel::reduceSmallAreas(CModelCommands& commands)
{
    return commands.reduceSmallAreas(wholeNumber(m_smallAreaThreshold).value_or(DEFAULT_SMALL_AREA_THRESHOLD));
}

bool COstrumPanel::smoothModel(CModelCommands& commands)
{
    return commands.smoothModel(wholeNumber(m_smoothingIterations).value_or(CMeshSmoothing::DEFAULT_ITERATIONS),
                                realNumber(m_smoothingParameter1, CMeshSmoothing::DEFAULT_LAMBDA),
                                realNumber(m_smoothingParameter2, CMeshSmoothing::DEFAULT_K));
}

bool COstrumPanel::decimateModel(CModelCommands& commands) { return commands.decimateModel(wholeNumber(m_endTriangles)); }

bool COstrumPanel::reduceSmallAreas()
{
    CModelCommands commands(*this);
    return reduceSmallAreas(commands);
}

bool COstrumPanel::smoothModel()
{
    CModelCommands commands(*this);
    return smoothModel(commands);
}

bool COstrumPanel::decimateModel()
{
    CModelCommands commands(*this);
    return decimateModel(commands);
}

bool COstrumPanel::runAll()
{
    CModelCommands commands(*this);
    commands.createModel(m_marchingCubes, m_flowReduction && m_flowReduction->GetValue());
    if (commands.wasCancelled())
        return false;
    reduceSmallAreas(commands);
    smoothModel(commands);
    if (commands.wasCancelled())
        return false;
    return decimateModel(commands);
}

bool COstrumPanel::saveModel() { return CModelCommands(*this).saveModel(); }

void COstrumPanel::updateCounters(const data::CModel* model)
{
    if (!m_trianglesCount || !m_nodesCount)
        return;
    const vctl::MCTriS* mesh = model ? model->getMesh() : nullptr;
    m_trianglesCount->ChangeValue(decimal(mesh ? mesh->getNumOfTris() : 0));
    m_nodesCount->ChangeValue(decimal(mesh ? mesh->getNumOfVertices() : 0));
}

void COstrumPanel::onRunMc(wxCommandEvent&) { createModel(); }
void COstrumPanel::onSaveModel(wxCommandEvent&) { saveModel(); }

void COstrumPanel::onReduceSmallAreas(wxCommandEvent&) { reduceSmallAreas(); }
void COstrumPanel::onRunSmoothing(wxCommandEvent&) { smoothModel(); }
void COstrumPanel::onRunDecimation(wxCommandEvent&) { decimateModel(); }
void COstrumPanel::onRunAll(wxCommandEvent&) { runAll(); }

} // namespace ostrum
