#pragma once
// The Tolvane panel ("Region Management"): the region grid and the commands on the
// segmentation as a whole: create regions, pick and join the active region by a click in
// the data, clear the active region, remove unused regions ("RELABEL"), clear everything
// ("RESET"), show or hide the regions, and the segmentation file buttons (handled by the
// interface). Handlers read the controls, ask for confirmation where needed and hand the
// work to CRegionCommands; exceptions reach the host.
//
// Controls are children of the static box; identifiers are idBase + the offsets below.
// The host sets the bindings before prepare().

#include "plug/CPluginPanel.h"
#include "plugins/tolvane/CRegionPickRequest.h"

class wxCheckBox;
class wxGrid;
class wxGridEvent;
class wxSpinCtrl;
class wxUpdateUIEvent;

namespace tolvane {

class CTolvanePanel : public plug::CPluginPanel
{
public:
    enum EControlIds : std::int32_t
    {
        ID_GRID = 26,
        ID_CREATE_NEW = 27,
        ID_RELABEL = 28,
        ID_CLEAR_ACTIVE = 29,
        ID_REGION_COUNT = 30,
        ID_RESET = 31,
        ID_SHOW_REGIONS = 32,
        ID_JOIN_ACTIVE = 33,
        ID_PICK_ACTIVE = 34,
        ID_LOAD = 36,
        ID_SAVE = 37,
        ID_SAVE_AS = 38
    };

    //! The adapter must not be null; parented by the application's top window.
    explicit CTolvanePanel(plug::CGuiAdapter* adapter);
    ~CTolvanePanel() override;

    //! Builds the controls and the grid (its table needs the bindings: raises
    //! CNullAppBindings without them).
    bool prepare() override;
    //! Binds the controls' events on the panel.
    bool connect() override;

    wxGrid* getGrid() const { return m_grid; }
    wxSpinCtrl* getRegionCount() const { return m_regionCount; }
    wxCheckBox* getShowRegions() const { return m_showRegions; }
    //! The pick that a click in the data would serve now.
    CRegionPickRequest::EAction getPendingPick() const { return m_pickRequest.getPending(); }

private:
    void setUpGrid();

    void onCellDoubleClick(wxGridEvent& event);
    void onCellSelected(wxGridEvent& event);
    void onCreateNew(wxCommandEvent& event);
    void onShowRegions(wxCommandEvent& event);
    void onUpdateShowRegions(wxUpdateUIEvent& event);
    void onReset(wxCommandEvent& event);
    void onClearActive(wxCommandEvent& event);
    void onPickActive(wxCommandEvent& event);
    void onJoinActive(wxCommandEvent& event);
    void onRelabel(wxCommandEvent& event);
    void onSave(wxCommandEvent& event);
    void onSaveAs(wxCommandEvent& event);
    void onLoad(wxCommandEvent& event);

    //! Asks a Yes/No question with the caption "Message..."; true for Yes.
    bool confirm(const wxString& question);
    void startPick(CRegionPickRequest::EAction action);

    wxSpinCtrl* m_regionCount = nullptr;
    wxGrid* m_grid = nullptr;
    wxCheckBox* m_showRegions = nullptr;
    CRegionPickRequest m_pickRequest;
};

} // namespace tolvane
