#include "plugins/tolvane/CTolvanePanel.h"

#include "plug/Dialogs.h"
#include "plugins/tolvane/CCheckMarkRenderer.h"
#include "plugins/tolvane/CRegionColourRenderer.h"
#include "plugins/tolvane/CRegionCommands.h"
#include "plugins/tolvane/CRegionGridTable.h"
#include "plugins/tolvane/CTolvaneInterface.h"
#include "toolkit/base/CLog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/grid.h>
#include <wx/intl.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>

namespace tolvane {

CTolvanePanel::CTolvanePanel(plug::CGuiAdapter* adapter) : CPluginPanel(adapter) {}

CTolvanePanel::~CTolvanePanel() { m_pickRequest.cancel(); }

bool CTolvanePanel::prepare()
{
    if (!CPluginPanel::prepare())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    auto* box = new wxStaticBoxSizer(wxVERTICAL, this, wxGetTranslation("Region Management"));
    wxWindow* parent = box->GetStaticBox();
    const int buttonFlags = wxALIGN_CENTER_VERTICAL | wxALL;

    auto button = [&](std::int32_t offset, const char* label, const char* tip, int width) {
        auto* created = new wxButton(parent, adapter.getId(offset), wxGetTranslation(label), wxDefaultPosition,
                                     wxSize(width, -1));
        created->SetToolTip(wxGetTranslation(tip));
        return created;
    };

    auto* createRow = new wxBoxSizer(wxHORIZONTAL);
    createRow->Add(button(ID_CREATE_NEW, "Create New", "Creates a new region", 75), 1, wxEXPAND | wxALL, 5);
    m_regionCount = new wxSpinCtrl(parent, adapter.getId(ID_REGION_COUNT), wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxSP_ARROW_KEYS, CRegionCommands::MIN_NEW_REGIONS,
                                   CRegionCommands::MAX_NEW_REGIONS, 1);
    m_regionCount->SetToolTip(wxGetTranslation("Please, specify a number of regions you want to add."));
    createRow->Add(m_regionCount, 1, wxEXPAND | wxALL, 5);
    box->Add(createRow, 0, wxEXPAND);

    auto* gridRow = new wxBoxSizer(wxHORIZONTAL);
    m_grid = new wxGrid(parent, adapter.getId(ID_GRID), wxDefaultPosition, wxSize(100, 100), wxHSCROLL | wxVSCROLL);
    // A generic window takes no minimal size from its constructor: the initial size
    // becomes the grid's minimal one, so that the panel's size hints leave room for it.
    m_grid->SetInitialSize(wxSize(100, 100));
    m_grid->SetToolTip(wxGetTranslation("List of all available regions."));
    setUpGrid();
    gridRow->Add(m_grid, 1, wxEXPAND);
    box->Add(gridRow, 1, wxEXPAND);

    auto* pickRow = new wxBoxSizer(wxHORIZONTAL);
    pickRow->Add(button(ID_PICK_ACTIVE, "Pick Active",
                        "Allows you to switch the active region by clicking any point in the data.", -1),
                 1, buttonFlags, 5);
    pickRow->Add(button(ID_JOIN_ACTIVE, "Join Active",
                        "Please, select a region to joint the active one by clicking the data", -1),
                 1, buttonFlags, 5);
    box->Add(pickRow, 0, wxEXPAND);

    auto* clearRow = new wxBoxSizer(wxHORIZONTAL);
    clearRow->Add(button(ID_CLEAR_ACTIVE, "Clear Active",
                         "Sets label of all voxels currently assigned to the active region to zero", 75),
                  1, buttonFlags, 5);
    clearRow->Add(5, 5, 1);
    box->Add(clearRow, 0, wxEXPAND);

    auto* relabelRow = new wxBoxSizer(wxHORIZONTAL);
    relabelRow->Add(button(ID_RELABEL, "RELABEL", "Removes all unused regions from the list", 75), 1, buttonFlags, 5);
    relabelRow->Add(button(ID_RESET, "RESET", "Removes all regions except default ones and zeros the region data", -1),
                    1, buttonFlags, 5);
    box->Add(relabelRow, 0, wxEXPAND);

    auto* showRow = new wxBoxSizer(wxHORIZONTAL);
    m_showRegions = new wxCheckBox(parent, adapter.getId(ID_SHOW_REGIONS), wxGetTranslation("Show Regions"));
    m_showRegions->SetToolTip(wxGetTranslation("Enables/Disables visualization of regions"));
    m_showRegions->SetValue(true);
    showRow->Add(m_showRegions, 0, wxALL, 5);
    box->Add(showRow, 0, wxALIGN_CENTER_HORIZONTAL);

    auto* fileRow = new wxBoxSizer(wxHORIZONTAL);
    fileRow->Add(button(ID_SAVE, "Save", "Saves results of the segmentation.", -1), 1, buttonFlags, 5);
    fileRow->Add(button(ID_LOAD, "Load", "Loads the segmentation from a file.", -1), 1, buttonFlags, 5);
    box->Add(fileRow, 0, wxEXPAND);

    auto* saveAsRow = new wxBoxSizer(wxHORIZONTAL);
    saveAsRow->Add(button(ID_SAVE_AS, "Save As...", "Saves results of the segmentation.", -1), 1, buttonFlags, 5);
    saveAsRow->Add(5, 5, 1);
    box->Add(saveAsRow, 0, wxEXPAND);

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(box, 1, wxEXPAND | wxALL, 5);
    SetSizer(top);
    top->SetSizeHints(this);
    Centre(wxBOTH);
    return true;
}

void CTolvanePanel::setUpGrid()
{
    m_grid->SetDefaultColSize(50);
    m_grid->SetDefaultRowSize(20);
    m_grid->SetColLabelSize(20);
    m_grid->SetTable(new CRegionGridTable(&getBindings()), true);
    m_grid->EnableGridLines(false);
    m_grid->SetRowLabelSize(1);
    m_grid->SetLabelFont(*wxNORMAL_FONT);

    auto columnAttr = [](bool readOnly, int horizontal) {
        auto* attr = new wxGridCellAttr;
        attr->SetReadOnly(readOnly);
        attr->SetAlignment(horizontal, wxALIGN_CENTRE);
        return attr;
    };
    m_grid->SetColAttr(CRegionGridTable::COLUMN_ID, columnAttr(true, wxALIGN_CENTRE));
    wxGridCellAttr* active = columnAttr(true, wxALIGN_CENTRE);
    active->SetEditor(new wxGridCellBoolEditor);
    active->SetRenderer(new CCheckMarkRenderer);
    active->SetTextColour(wxColour("gray"));
    m_grid->SetColAttr(CRegionGridTable::COLUMN_ACTIVE, active);
    wxGridCellAttr* colour = columnAttr(true, wxALIGN_LEFT);
    colour->SetRenderer(new CRegionColourRenderer);
    m_grid->SetColAttr(CRegionGridTable::COLUMN_COLOR, colour);
    wxGridCellAttr* name = columnAttr(false, wxALIGN_LEFT);
    name->SetEditor(new wxGridCellTextEditor);
    m_grid->SetColAttr(CRegionGridTable::COLUMN_NAME, name);
    wxGridCellAttr* visible = columnAttr(true, wxALIGN_CENTRE);
    visible->SetEditor(new wxGridCellBoolEditor);
    visible->SetRenderer(new CCheckMarkRenderer);
    m_grid->SetColAttr(CRegionGridTable::COLUMN_VISIBLE, visible);
    m_grid->AutoSizeColumns();
}

bool CTolvanePanel::connect()
{
    if (!CPluginPanel::connect())
        return false;
    const plug::CGuiAdapter& adapter = getAdapter();
    Bind(wxEVT_GRID_CELL_LEFT_DCLICK, &CTolvanePanel::onCellDoubleClick, this, adapter.getId(ID_GRID));
    Bind(wxEVT_GRID_SELECT_CELL, &CTolvanePanel::onCellSelected, this, adapter.getId(ID_GRID));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onCreateNew, this, adapter.getId(ID_CREATE_NEW));
    Bind(wxEVT_CHECKBOX, &CTolvanePanel::onShowRegions, this, adapter.getId(ID_SHOW_REGIONS));
    Bind(wxEVT_UPDATE_UI, &CTolvanePanel::onUpdateShowRegions, this, adapter.getId(ID_SHOW_REGIONS));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onReset, this, adapter.getId(ID_RESET));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onClearActive, this, adapter.getId(ID_CLEAR_ACTIVE));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onPickActive, this, adapter.getId(ID_PICK_ACTIVE));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onJoinActive, this, adapter.getId(ID_JOIN_ACTIVE));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onSave, this, adapter.getId(ID_SAVE));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onSaveAs, this, adapter.getId(ID_SAVE_AS));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onLoad, this, adapter.getId(ID_LOAD));
    Bind(wxEVT_BUTTON, &CTolvanePanel::onRelabel, this, adapter.getId(ID_RELABEL));
    return true;
}

void CTolvanePanel::onCellDoubleClick(wxGridEvent& event)
{
    const int row = event.GetRow();
    CRegionCommands commands(getBindings().getStorage());
    switch (event.GetCol())
    {
    case CRegionGridTable::COLUMN_COLOR: {
        const wxColour initial(m_grid->GetCellValue(row, CRegionGridTable::COLUMN_COLOR));
        wxColour chosen;
        if (plug::chooseColour(*this, initial, wxGetTranslation("Please, select a new region color..."), chosen) &&
            chosen.IsOk())
            commands.setColour(row, chosen.Red(), chosen.Green(), chosen.Blue());
        break;
    }
    case CRegionGridTable::COLUMN_ID:
    case CRegionGridTable::COLUMN_ACTIVE:
        commands.makeActive(row);
        m_grid->ForceRefresh();
        break;
    case CRegionGridTable::COLUMN_VISIBLE:
        commands.toggleVisible(row);
        m_grid->ForceRefresh();
        break;
    default:
        // Names are edited in the grid itself.
        event.Skip();
        break;
    }
}

void CTolvanePanel::onCellSelected(wxGridEvent& event) { event.Skip(); }

void CTolvanePanel::onCreateNew(wxCommandEvent&)
{
    const int count = m_regionCount->GetValue();
    CRegionCommands(getBindings().getStorage()).createRegions(count);
}

void CTolvanePanel::onShowRegions(wxCommandEvent& event)
{
    CRegionCommands(getBindings().getStorage()).showRegions(event.IsChecked());
}

void CTolvanePanel::onUpdateShowRegions(wxUpdateUIEvent& event)
{
    // Runs in idle time, where nobody could report a failure: without data the box stays
    // as it is.
    if (!hasBindings() || !getBindings().getStoragePointer())
        return;
    try
    {
        event.Check(CRegionCommands(getBindings().getStorage()).areRegionsShown());
    }
    catch (const kvo::base::CException& exception)
    {
        kvo::base::logStream() << "<note> CTolvanePanel::onUpdateShowRegions(): " << exception.what() << std::endl;
    }
}

void CTolvanePanel::onReset(wxCommandEvent&)
{
    if (confirm(wxGetTranslation("Do you really want to clear results of the segmentation?")))
        CRegionCommands(getBindings().getStorage()).reset();
}

void CTolvanePanel::onClearActive(wxCommandEvent&)
{
    if (confirm(wxGetTranslation("Do you really want to clear the active region?")))
        CRegionCommands(getBindings().getStorage()).clearActive();
}

void CTolvanePanel::onPickActive(wxCommandEvent&) { startPick(CRegionPickRequest::EAction::PickActive); }

void CTolvanePanel::onJoinActive(wxCommandEvent&) { startPick(CRegionPickRequest::EAction::JoinActive); }

void CTolvanePanel::onRelabel(wxCommandEvent&)
{
    if (confirm(wxGetTranslation("Do you really want to remove all unused regions?")))
        CRegionCommands(getBindings().getStorage()).relabel();
}

void CTolvanePanel::onSave(wxCommandEvent& event) { plug::getInterfaceInstance<CTolvaneInterface>()->onSave(event); }

void CTolvanePanel::onSaveAs(wxCommandEvent& event)
{
    plug::getInterfaceInstance<CTolvaneInterface>()->onSaveAs(event);
}

void CTolvanePanel::onLoad(wxCommandEvent& event) { plug::getInterfaceInstance<CTolvaneInterface>()->onLoad(event); }

bool CTolvanePanel::confirm(const wxString& question)
{
    return plug::askYesNo(*this, question, wxGetTranslation("Message..."), wxYES_NO | wxICON_QUESTION) == wxYES;
}

void CTolvanePanel::startPick(CRegionPickRequest::EAction action)
{
    m_pickRequest.setBindings(&getBindings());
    m_pickRequest.start(action);
}

} // namespace tolvane
