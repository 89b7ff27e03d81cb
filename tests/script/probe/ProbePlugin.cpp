// A test-only plug-in for the host's script mode: one control of each kind and one dialog
// of each kind. Every dialog's outcome is written into the "Result" text control, so a
// script can check it with "expect control".

#include "plug/CAppSceneHub.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"
#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"
#include "plug/Dialogs.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/grid.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

namespace probe {

enum
{
    ID_BUTTON = 26,
    ID_TOGGLE,
    ID_CHECK,
    ID_SPIN,
    ID_TEXT,
    ID_RESULT,
    ID_ASK,
    ID_FILE,
    ID_COLOUR,
    ID_MESSAGE,
    ID_PROGRESS,
    ID_GRID,
    ID_DISABLED
};

class CProbePanel : public plug::CPluginPanel
{
public:
    explicit CProbePanel(plug::CGuiAdapter* adapter) : CPluginPanel(adapter) {}

    bool prepare() override
    {
        if (!CPluginPanel::prepare())
            return false;
        const int base = getAdapter().idBase;
        auto* top = new wxBoxSizer(wxVERTICAL);
        top->Add(new wxButton(this, base + ID_BUTTON, "Do It"));
        top->Add(new wxToggleButton(this, base + ID_TOGGLE, "Toggle Me"));
        top->Add(new wxCheckBox(this, base + ID_CHECK, "Enable Thing"));
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(new wxStaticText(this, wxID_ANY, "Count"));
        row->Add(new wxSpinCtrl(this, base + ID_SPIN, "5", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, -10, 100, 5));
        top->Add(row);
        auto* grid = new wxFlexGridSizer(2);
        grid->Add(new wxStaticText(this, wxID_ANY, "Name"));
        grid->Add(new wxTextCtrl(this, base + ID_TEXT, "initial"));
        grid->Add(new wxStaticText(this, wxID_ANY, "Result"));
        grid->Add(new wxTextCtrl(this, base + ID_RESULT, ""));
        top->Add(grid);
        top->Add(new wxButton(this, base + ID_ASK, "Ask"));
        top->Add(new wxButton(this, base + ID_FILE, "Choose File"));
        top->Add(new wxButton(this, base + ID_COLOUR, "Choose Colour"));
        top->Add(new wxButton(this, base + ID_MESSAGE, "Say"));
        top->Add(new wxButton(this, base + ID_PROGRESS, "Run Long"));
        auto* disabled = new wxButton(this, base + ID_DISABLED, "Never");
        disabled->Disable();
        top->Add(disabled);
        m_grid = new wxGrid(this, base + ID_GRID);
        m_grid->CreateGrid(3, 2);
        top->Add(m_grid);
        SetSizerAndFit(top);
        return true;
    }

    bool connect() override
    {
        if (!CPluginPanel::connect())
            return false;
        const int base = getAdapter().idBase;
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { result("pressed"); }, base + ID_BUTTON);
        Bind(wxEVT_TOGGLEBUTTON, [this](wxCommandEvent& e) { result(e.GetInt() ? "toggle on" : "toggle off"); },
             base + ID_TOGGLE);
        Bind(wxEVT_CHECKBOX, [this](wxCommandEvent& e) { result(e.GetInt() ? "check on" : "check off"); }, base + ID_CHECK);
        Bind(wxEVT_SPINCTRL, [this](wxSpinEvent& e) { result("spin " + std::to_string(e.GetPosition())); }, base + ID_SPIN);
        Bind(wxEVT_TEXT, [this](wxCommandEvent& e) { result("text " + e.GetString().utf8_string()); }, base + ID_TEXT);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            result(plug::askYesNo(*this, "Really do it?", "Question") == wxYES ? "yes" : "no");
        }, base + ID_ASK);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            const wxString file = plug::selectFile(*this, "Pick a file", "", "", "seg", "*.seg", wxFD_OPEN);
            result(file.empty() ? std::string("no file") : "file " + file.utf8_string());
        }, base + ID_FILE);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            wxColour colour;
            result(plug::chooseColour(*this, *wxRED, "Pick a colour", colour)
                       ? "colour " + std::to_string(colour.Red()) + "," + std::to_string(colour.Green()) + "," +
                             std::to_string(colour.Blue())
                       : std::string("no colour"));
        }, base + ID_COLOUR);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { plug::showMessage(*this, "Hello from the probe", "Note"); },
             base + ID_MESSAGE);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
            auto progress = plug::createProgress(*this, "Working, please wait...", 100);
            progress->Show(true);
            int done = 0;
            for (int step = 1; step <= 10; ++step, ++done)
            {
                if (!progress->updateProgress(step, 10))
                    break;
            }
            result("steps " + std::to_string(done));
        }, base + ID_PROGRESS);
        m_grid->Bind(wxEVT_GRID_CELL_LEFT_DCLICK, [this](wxGridEvent& e) {
            result("dclick " + std::to_string(e.GetRow()) + " " + std::to_string(e.GetCol()) + " " +
                   m_grid->GetCellValue(e.GetRow(), e.GetCol()).utf8_string());
        });
        return true;
    }

    void result(const std::string& text)
    {
        if (auto* control = dynamic_cast<wxTextCtrl*>(FindWindow(getAdapter().idBase + ID_RESULT)))
            control->ChangeValue(wxString::FromUTF8(text));
    }

private:
    wxGrid* m_grid = nullptr;
};

class CProbeMenu : public plug::CPluginMenu
{
public:
    using CPluginMenu::CPluginMenu;
    bool createItems() override
    {
        if (!CPluginMenu::createItems())
            return false;
        Append(getAdapter().idBase + 17, "Probe Command");
        return true;
    }
};

class CProbeInterface : public plug::CPluginInterface
{
public:
    explicit CProbeInterface(std::uint32_t flags) : CPluginInterface(flags) {}
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override { return m_panel = new CProbePanel(adapter); }
    plug::CPluginMenu* createMenu(plug::CGuiAdapter* adapter) override { return new CProbeMenu(adapter); }
    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override
    {
        if (!CPluginInterface::connect(host))
            return false;
        bindMenuCommand(17, [this](wxCommandEvent&) { onProbeCommand(); });
        // Picks and strokes of the host are reported in the result field as well.
        getBindings().getSceneHub().pointPicked.connect([this](float x, float y, float z, int) {
            if (m_panel)
                m_panel->result("picked " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z));
        });
        return true;
    }
    virtual void onProbeCommand()
    {
        if (m_panel)
            m_panel->result("menu command");
    }

private:
    CProbePanel* m_panel = nullptr;
};

class CProbePlugin : public plug::CPluginPrototype<CProbePlugin, CProbeInterface, plug::CCreateInGlobalMem>
{
public:
    explicit CProbePlugin(std::uint32_t flags) : CPluginPrototype(flags) {}
    static const plug::CPluginInfo& getPluginInfo()
    {
        static const plug::CPluginInfo info("Velmora", "Probe", "Testing", 1, 0);
        return info;
    }
    const plug::CPluginInfo& getInfo() const override { return getPluginInfo(); }
};

} // namespace probe

VELMORA_DEFINE_PLUGIN_ENTRY_POINTS(probe::CProbePlugin)
