// Script commands that drive the plug-ins' panels and menus as a user would: values, buttons,
// menu items, grid cells, picks and strokes in the views, and answers for their dialogs.

#include "host/CMainFrame.h"
#include "host/CPluginHost.h"
#include "host/CVelmoraHost.h"
#include "host/CScriptDialogService.h"
#include "host/CScriptRunner.h"
#include "host/script/ScriptSupport.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/grid.h>
#include <wx/menu.h>
#include <wx/spinctrl.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <osg/Array>

#include <sstream>

namespace velmora {

using namespace script;

void CScriptRunner::commandSet(const std::vector<std::string>& words)
{
    needWords(words, 4, 4, "set PLUGIN LABEL VALUE");
    wxWindow* window = control(plugin(words[1]), words[2]);
    if (auto* spin = dynamic_cast<wxSpinCtrl*>(window))
    {
        const long long value = parseInteger(words[3]);
        if (value < spin->GetMin() || value > spin->GetMax())
            fail("value " + words[3] + " is outside the range of \"" + words[2] + "\" (" + std::to_string(spin->GetMin()) +
                 " to " + std::to_string(spin->GetMax()) + ")");
        spin->SetValue(static_cast<int>(value));
        wxSpinEvent event(wxEVT_SPINCTRL, spin->GetId());
        event.SetEventObject(spin);
        event.SetPosition(spin->GetValue());
        spin->ProcessWindowEvent(event);
    }
    else if (auto* spinDouble = dynamic_cast<wxSpinCtrlDouble*>(window))
    {
        spinDouble->SetValue(parseNumber(words[3]));
        wxSpinDoubleEvent event(wxEVT_SPINCTRLDOUBLE, spinDouble->GetId(), spinDouble->GetValue());
        event.SetEventObject(spinDouble);
        spinDouble->ProcessWindowEvent(event);
    }
    else if (auto* text = dynamic_cast<wxTextCtrl*>(window))
    {
        text->ChangeValue(wxString::FromUTF8(words[3]));
        wxCommandEvent event(wxEVT_TEXT, text->GetId());
        event.SetEventObject(text);
        event.SetString(text->GetValue());
        text->ProcessWindowEvent(event);
    }
    else
        fail("\"" + words[2] + "\" is not a spin or text control");
}

void CScriptRunner::commandCheck(const std::vector<std::string>& words)
{
    needWords(words, 4, 4, "check PLUGIN LABEL on|off");
    auto* box = dynamic_cast<wxCheckBox*>(control(plugin(words[1]), words[2]));
    if (!box)
        fail("\"" + words[2] + "\" is not a check box");
    const bool wanted = parseOnOff(words[3]);
    if (box->GetValue() == wanted)
        return;
    box->SetValue(wanted);
    wxCommandEvent event(wxEVT_CHECKBOX, box->GetId());
    event.SetEventObject(box);
    event.SetInt(wanted ? 1 : 0);
    box->ProcessWindowEvent(event);
}

void CScriptRunner::commandPress(const std::vector<std::string>& words)
{
    needWords(words, 3, 3, "press PLUGIN LABEL");
    wxWindow* window = control(plugin(words[1]), words[2]);
    if (!window->IsEnabled())
        fail("\"" + words[2] + "\" is disabled");
    if (auto* toggle = dynamic_cast<wxToggleButton*>(window))
    {
        toggle->SetValue(!toggle->GetValue());
        wxCommandEvent event(wxEVT_TOGGLEBUTTON, toggle->GetId());
        event.SetEventObject(toggle);
        event.SetInt(toggle->GetValue() ? 1 : 0);
        toggle->ProcessWindowEvent(event);
    }
    else if (auto* button = dynamic_cast<wxButton*>(window))
    {
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    }
    else
        fail("\"" + words[2] + "\" is not a button");
}

namespace {

wxMenuItem* findMenuItem(wxMenu* menu, const wxString& label)
{
    for (wxMenuItem* item : menu->GetMenuItems())
    {
        if (item->IsSubMenu())
        {
            if (wxMenuItem* found = findMenuItem(item->GetSubMenu(), label))
                return found;
        }
        else if (!item->IsSeparator() && item->GetItemLabelText() == label)
            return item;
    }
    return nullptr;
}

} // namespace

void CScriptRunner::commandMenu(const std::vector<std::string>& words)
{
    needWords(words, 3, 3, "menu PLUGIN|File|Edit ITEM");
    // A plug-in's menu, or one of the host's own (File, Edit) by its title.
    wxMenu* menu = nullptr;
    std::string owner;
    if (CHostedPlugin* hosted = m_host.getPlugins().findByName(words[1]))
    {
        if (!hosted->menu)
            fail("plug-in " + hosted->name + " has no menu");
        menu = hosted->menu;
        owner = "plug-in " + hosted->name;
    }
    else if (wxMenuBar* bar = m_frame.GetMenuBar(); bar && bar->FindMenu(wxString::FromUTF8(words[1])) != wxNOT_FOUND)
    {
        menu = bar->GetMenu(static_cast<size_t>(bar->FindMenu(wxString::FromUTF8(words[1]))));
        owner = "menu " + words[1];
    }
    else
        fail("no plug-in or menu named '" + words[1] + "'");
    wxMenuItem* item = findMenuItem(menu, wxString::FromUTF8(words[2]));
    if (!item)
        fail(owner + " has no menu item \"" + words[2] + "\"");
    if (!item->IsEnabled())
        fail("menu item \"" + words[2] + "\" is disabled");
    int checked = -1;
    if (item->IsCheckable())
    {
        item->Check(!item->IsChecked());
        checked = item->IsChecked() ? 1 : 0;
    }
    menu->SendEvent(item->GetId(), checked);
}

namespace {

wxGrid* findGrid(wxWindow* panel)
{
    std::vector<wxWindow*> windows;
    collectWindows(panel, windows);
    for (wxWindow* window : windows)
    {
        if (auto* grid = dynamic_cast<wxGrid*>(window))
            return grid;
    }
    return nullptr;
}

} // namespace

void CScriptRunner::commandCell(const std::vector<std::string>& words)
{
    needWords(words, 5, 5, "cell PLUGIN ROW COL VALUE");
    CHostedPlugin& hosted = plugin(words[1]);
    wxGrid* grid = hosted.panel ? findGrid(hosted.panel) : nullptr;
    if (!grid || !grid->GetTable())
        fail("plug-in " + hosted.name + " has no grid");
    const long long row = parseInteger(words[2]);
    const long long col = parseInteger(words[3]);
    wxGridTableBase* table = grid->GetTable();
    if (row < 0 || row >= table->GetNumberRows() || col < 0 || col >= table->GetNumberCols())
        fail("cell " + words[2] + " " + words[3] + " is outside the grid");
    table->SetValue(static_cast<int>(row), static_cast<int>(col), wxString::FromUTF8(words[4]));
    grid->ForceRefresh();
}

void CScriptRunner::commandDoubleClick(const std::vector<std::string>& words)
{
    needWords(words, 4, 4, "dclick PLUGIN ROW COL");
    CHostedPlugin& hosted = plugin(words[1]);
    wxGrid* grid = hosted.panel ? findGrid(hosted.panel) : nullptr;
    if (!grid)
        fail("plug-in " + hosted.name + " has no grid");
    const long long row = parseInteger(words[2]);
    const long long col = parseInteger(words[3]);
    if (row < 0 || row >= grid->GetNumberRows() || col < 0 || col >= grid->GetNumberCols())
        fail("cell " + words[2] + " " + words[3] + " is outside the grid");
    wxGridEvent event(grid->GetId(), wxEVT_GRID_CELL_LEFT_DCLICK, grid, static_cast<int>(row), static_cast<int>(col));
    grid->ProcessWindowEvent(event);
}

void CScriptRunner::commandPick(const std::vector<std::string>& words)
{
    needWords(words, 4, 4, "pick X Y Z");
    const float x = static_cast<float>(parseNumber(words[1]));
    const float y = static_cast<float>(parseNumber(words[2]));
    const float z = static_cast<float>(parseNumber(words[3]));
    CAppSceneHub& hub = m_host.getSceneHub();
    hub.pointPicked.emit(x, y, z, 0);
    hub.restoreMode();
}

void CScriptRunner::commandStroke(const std::vector<std::string>& words)
{
    needWords(words, 2, static_cast<std::size_t>(-1), "stroke X,Y,Z X,Y,Z ...");
    osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
    for (std::size_t i = 1; i < words.size(); ++i)
    {
        std::vector<std::string> parts;
        std::stringstream stream(words[i]);
        std::string part;
        while (std::getline(stream, part, ','))
            parts.push_back(part);
        if (parts.size() != 3)
            fail("a stroke point is X,Y,Z, got '" + words[i] + "'");
        points->push_back(osg::Vec3f(static_cast<float>(parseNumber(parts[0])), static_cast<float>(parseNumber(parts[1])),
                                     static_cast<float>(parseNumber(parts[2]))));
    }
    m_host.getSceneHub().strokeDrawn.emit(points.get(), 2, 0);
}

void CScriptRunner::commandAnswer(const std::vector<std::string>& words)
{
    needWords(words, 2, 5, "answer yes|no|file [PATH]|colour [R G B]|cancel");
    CScriptDialogService::CAnswer answer;
    std::string text;
    for (std::size_t i = 1; i < words.size(); ++i)
        text += (i > 1 ? " " : "") + words[i];
    answer.text = "answer " + text;
    const std::string& kind = words[1];
    if ((kind == "yes" || kind == "no") && words.size() == 2)
    {
        answer.kind = CScriptDialogService::EKind::YesNo;
        answer.positive = kind == "yes";
    }
    else if (kind == "file" && words.size() <= 3)
    {
        answer.kind = CScriptDialogService::EKind::File;
        answer.positive = words.size() == 3;
        if (answer.positive)
            answer.file = words[2];
    }
    else if (kind == "colour" && (words.size() == 2 || words.size() == 5))
    {
        answer.kind = CScriptDialogService::EKind::Colour;
        answer.positive = words.size() == 5;
        if (answer.positive)
        {
            const long long rgb[3] = {parseInteger(words[2]), parseInteger(words[3]), parseInteger(words[4])};
            for (long long component : rgb)
            {
                if (component < 0 || component > 255)
                    fail("colour components are 0 to 255");
            }
            answer.red = static_cast<unsigned char>(rgb[0]);
            answer.green = static_cast<unsigned char>(rgb[1]);
            answer.blue = static_cast<unsigned char>(rgb[2]);
        }
    }
    else if (kind == "cancel" && words.size() == 2)
        answer.kind = CScriptDialogService::EKind::Progress;
    else
        fail("usage: answer yes|no|file [PATH]|colour [R G B]|cancel");
    m_dialogs.queue(answer);
}

} // namespace velmora
