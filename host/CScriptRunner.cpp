#include "host/CScriptRunner.h"

#include "data/StorageExceptions.h"
#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptDialogService.h"
#include "host/CVelmoraHost.h"
#include "host/DataSources.h"
#include "host/ScriptWords.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/grid.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include <osg/Array>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>

namespace velmora {

namespace {

std::string pendingAssertion;

[[noreturn]] void fail(const std::string& reason) { throw CScriptRunner::CFailure{reason}; }

void needWords(const std::vector<std::string>& words, std::size_t least, std::size_t most, const char* usage)
{
    if (words.size() < least || words.size() > most)
        fail(std::string("usage: ") + usage);
}

long long parseInteger(const std::string& text)
{
    const std::optional<long long> value = parseWholeInteger(text);
    if (!value)
        fail("not a whole number: '" + text + "'");
    return *value;
}

const char* const NO_DATA_SET = "no data set is loaded: load one first (load phantom|dicom|nifti|raw ...)";

// A whole number that must fit a 32-bit int (coordinates, labels, offsets): a larger one
// is an error, never wrapped onto another value.
int parseInt(const std::string& text)
{
    const long long value = parseInteger(text);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        fail("number out of range: '" + text + "'");
    return static_cast<int>(value);
}

double parseNumber(const std::string& text)
{
    const std::optional<double> value = parseWholeNumber(text);
    if (!value)
        fail("not a number: '" + text + "'");
    if (!std::isfinite(*value))
        fail("not a finite number: '" + text + "'");
    return *value;
}

bool parseOnOff(const std::string& text)
{
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    fail("expected on or off, got '" + text + "'");
}

void expectCompare(const std::string& what, const std::string& op, double actual, double wanted)
{
    const std::optional<bool> result = compareBy(op, actual, wanted);
    if (!result)
        fail("unknown comparison '" + op + "'");
    if (!*result)
    {
        std::ostringstream text;
        text << "expected " << what << " " << op << " " << std::setprecision(15) << wanted << ", got " << actual;
        fail(text.str());
    }
}

void collectWindows(wxWindow* window, std::vector<wxWindow*>& windows)
{
    for (wxWindow* child : window->GetChildren())
    {
        windows.push_back(child);
        collectWindows(child, windows);
    }
}

bool isValueControl(wxWindow* window)
{
    return dynamic_cast<wxSpinCtrl*>(window) || dynamic_cast<wxSpinCtrlDouble*>(window) ||
           dynamic_cast<wxTextCtrl*>(window);
}

// The value control that follows a static text in its row of the sizer.
wxWindow* controlAfterLabel(wxStaticText* label)
{
    wxSizer* sizer = label->GetContainingSizer();
    if (!sizer)
        return nullptr;
    const wxSizerItemList& items = sizer->GetChildren();
    int columns = 0;
    if (auto* grid = dynamic_cast<wxGridSizer*>(sizer))
        columns = grid->GetEffectiveColsCount();
    int index = 0;
    int labelIndex = -1;
    for (wxSizerItem* item : items)
    {
        if (labelIndex < 0)
        {
            if (item->GetWindow() == label)
                labelIndex = index;
        }
        else
        {
            if (columns > 0 && index / columns != labelIndex / columns)
                break;
            if (wxWindow* window = item->GetWindow(); window && isValueControl(window))
                return window;
        }
        ++index;
    }
    return nullptr;
}

std::string describeValue(wxWindow* window)
{
    if (auto* spin = dynamic_cast<wxSpinCtrl*>(window))
        return std::to_string(spin->GetValue());
    if (auto* spinDouble = dynamic_cast<wxSpinCtrlDouble*>(window))
    {
        std::ostringstream text;
        text << spinDouble->GetValue();
        return text.str();
    }
    if (auto* text = dynamic_cast<wxTextCtrl*>(window))
        return text->GetValue().utf8_string();
    if (auto* check = dynamic_cast<wxCheckBox*>(window))
        return check->GetValue() ? "on" : "off";
    if (auto* toggle = dynamic_cast<wxToggleButton*>(window))
        return toggle->GetValue() ? "on" : "off";
    fail("the control has no value to compare");
}

std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text)
    {
        if (c == '"')
            result += "\"\"";
        else
            result += c;
    }
    return result + "\"";
}

} // namespace

CScriptRunner::CScriptRunner(CVelmoraHost& host, CMainFrame& frame, CHostData& data, CScriptDialogService& dialogs,
                             std::ostream& out, std::ostream& err)
    : m_host(host), m_frame(frame), m_data(data), m_dialogs(dialogs), m_out(out), m_err(err)
{
}

void CScriptRunner::reportAssertion(const std::string& text)
{
    if (pendingAssertion.empty())
        pendingAssertion = "wxWidgets assertion: " + text;
}

void CScriptRunner::reportLogError(const std::string& text)
{
    if (pendingAssertion.empty())
        pendingAssertion = text;
}

int CScriptRunner::runFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
    {
        m_err << path << ":0: error: cannot open the script" << std::endl;
        return 1;
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return runLines(lines, path);
}

int CScriptRunner::runLines(const std::vector<std::string>& lines, const std::string& file)
{
    int lineNumber = 0;
    for (std::string line : lines)
    {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string error;
        const auto words = splitScriptLine(line, error);
        if (!words)
        {
            m_err << file << ":" << lineNumber << ": error: " << error << std::endl;
            return 1;
        }
        if (words->empty())
            continue;
        const auto start = std::chrono::steady_clock::now();
        try
        {
            pendingAssertion.clear();
            execute(*words);
            settle();
            checkDialogs();
        }
        catch (const CFailure& failure)
        {
            m_dialogs.takeFailure();
            m_err << file << ":" << lineNumber << ": error: " << failure.reason << std::endl;
            return 1;
        }
        catch (const std::exception& exception)
        {
            m_dialogs.takeFailure();
            // A plug-in command without a data set fails on entries that do not exist yet;
            // the user learns why. (Compared by text: each plug-in has its own copy of the
            // exception class.)
            const bool missingEntry = std::string(exception.what()) == data::Storage::CUnknowEntry().what();
            m_err << file << ":" << lineNumber << ": error: " << exception.what()
                  << (missingEntry && !m_data.hasData() ? std::string(" (") + NO_DATA_SET + ")" : "") << std::endl;
            return 1;
        }
        if (m_timings)
        {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            char text[32];
            std::snprintf(text, sizeof text, "%.3f", seconds);
            m_err << "timing: " << lineNumber << " " << text << " " << line << std::endl;
        }
    }
    if (!m_dialogs.getQueued().empty())
    {
        std::string left;
        for (const auto& answer : m_dialogs.getQueued())
            left += (left.empty() ? "" : ", ") + answer.text;
        m_dialogs.clearQueued();
        m_err << file << ":" << lineNumber << ": error: answers left over at the end of the script: " << left
              << std::endl;
        return 1;
    }
    return 0;
}

void CScriptRunner::settle()
{
    if (wxTheApp)
    {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
    }
}

void CScriptRunner::checkDialogs()
{
    if (!pendingAssertion.empty())
    {
        std::string text;
        text.swap(pendingAssertion);
        fail(text);
    }
    const std::string failure = m_dialogs.takeFailure();
    if (!failure.empty())
        fail(failure);
}

void CScriptRunner::execute(const std::vector<std::string>& words)
{
    const std::string& command = words[0];
    // Commands on the data set's voxels say plainly that there is none.
    static const char* const needData[] = {"undo", "redo"};
    const bool labelCheck = command == "expect" && words.size() > 1 && (words[1] == "label" || words[1] == "labelcount");
    if ((labelCheck || std::find(std::begin(needData), std::end(needData), command) != std::end(needData)) &&
        !m_data.hasData())
        fail(NO_DATA_SET);
    if (command == "load")
        commandLoad(words);
    else if (command == "set")
        commandSet(words);
    else if (command == "check")
        commandCheck(words);
    else if (command == "press")
        commandPress(words);
    else if (command == "menu")
        commandMenu(words);
    else if (command == "cell")
        commandCell(words);
    else if (command == "dclick")
        commandDoubleClick(words);
    else if (command == "pick")
        commandPick(words);
    else if (command == "stroke")
        commandStroke(words);
    else if (command == "answer")
        commandAnswer(words);
    else if (command == "slice")
        commandSlice(words);
    else if (command == "undo")
    {
        needWords(words, 1, 1, "undo");
        if (!m_data.undo())
            fail("nothing to undo");
    }
    else if (command == "redo")
    {
        needWords(words, 1, 1, "redo");
        if (!m_data.redo())
            fail("nothing to redo");
    }
    else if (command == "wait")
        settle();
    else if (command == "expect")
        commandExpect(words);
    else if (command == "print")
        commandPrint(words);
    else if (command == "screenshot")
        commandScreenshot(words);
    else
        fail("unknown command '" + command + "'");
}

CHostedPlugin& CScriptRunner::plugin(const std::string& name)
{
    CHostedPlugin* hosted = m_host.getPlugins().findByName(name);
    if (!hosted)
        fail("no plug-in named '" + name + "'");
    return *hosted;
}

wxWindow* CScriptRunner::control(CHostedPlugin& hosted, const std::string& label)
{
    if (!hosted.panel)
        fail("plug-in " + hosted.name + " has no panel");
    if (label.size() > 1 && label[0] == '#')
    {
        const long long offset = parseInt(label.substr(1));
        wxWindow* window = hosted.panel->FindWindow(static_cast<int>(hosted.idBase + offset));
        if (!window)
            fail("plug-in " + hosted.name + " has no control " + label);
        return window;
    }
    std::vector<wxWindow*> windows;
    collectWindows(hosted.panel, windows);
    const wxString wanted = wxString::FromUTF8(label);
    for (wxWindow* window : windows)
    {
        auto* labelled = dynamic_cast<wxControl*>(window);
        if (labelled && (dynamic_cast<wxAnyButton*>(window) || dynamic_cast<wxCheckBox*>(window)) &&
            labelled->GetLabelText() == wanted)
            return window;
    }
    for (wxWindow* window : windows)
    {
        auto* text = dynamic_cast<wxStaticText*>(window);
        if (text && text->GetLabelText() == wanted)
        {
            if (wxWindow* found = controlAfterLabel(text))
                return found;
        }
    }
    fail("plug-in " + hosted.name + " has no control labelled \"" + label + "\"");
}

void CScriptRunner::commandLoad(const std::vector<std::string>& words)
{
    needWords(words, 2, 9, "load phantom [X Y Z] | load dicom DIR | load nifti FILE | load raw FILE X Y Z [DX DY DZ]");
    import::CLoadedVolume volume = loadSource(std::vector<std::string>(words.begin() + 1, words.end()));
    for (const std::string& warning : volume.warnings)
        m_err << "warning: " << warning << std::endl;
    m_data.takeDataSet(volume);
}

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
    needWords(words, 3, 3, "menu PLUGIN ITEM");
    CHostedPlugin& hosted = plugin(words[1]);
    if (!hosted.menu)
        fail("plug-in " + hosted.name + " has no menu");
    wxMenuItem* item = findMenuItem(hosted.menu, wxString::FromUTF8(words[2]));
    if (!item)
        fail("plug-in " + hosted.name + " has no menu item \"" + words[2] + "\"");
    if (!item->IsEnabled())
        fail("menu item \"" + words[2] + "\" is disabled");
    int checked = -1;
    if (item->IsCheckable())
    {
        item->Check(!item->IsChecked());
        checked = item->IsChecked() ? 1 : 0;
    }
    hosted.menu->SendEvent(item->GetId(), checked);
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

void CScriptRunner::commandSlice(const std::vector<std::string>& words)
{
    needWords(words, 3, 3, "slice xy|xz|yz N");
    const long long index = parseInteger(words[2]);
    if (!m_data.hasData())
        fail("no data set is loaded");
    const auto size = m_data.getDimensions();
    const int axis = words[1] == "xy" ? 2 : words[1] == "xz" ? 1 : words[1] == "yz" ? 0 : -1;
    if (axis < 0)
        fail("usage: slice xy|xz|yz N");
    if (index < 0 || index >= size[axis])
        fail("slice " + words[2] + " is outside the volume (0 to " + std::to_string(size[axis] - 1) + ")");
    if (!m_frame.showSlice(axis, static_cast<int>(index)))
        fail("no view shows " + words[1] + " slices");
}

void CScriptRunner::commandExpect(const std::vector<std::string>& words)
{
    needWords(words, 2, 8, "expect WHAT ...");
    const std::string& what = words[1];
    if (what == "label")
    {
        needWords(words, 6, 6, "expect label X Y Z N");
        const int label = m_data.getLabel(parseInt(words[2]), parseInt(words[3]), parseInt(words[4]));
        if (label < 0)
            fail("voxel " + words[2] + " " + words[3] + " " + words[4] + " is outside the volume");
        expectCompare("label at " + words[2] + " " + words[3] + " " + words[4], "==", label,
                      static_cast<double>(parseInteger(words[5])));
    }
    else if (what == "labelcount")
    {
        needWords(words, 5, 5, "expect labelcount N OP COUNT");
        const int label = parseInt(words[2]);
        const auto counts = m_data.getLabelCounts();
        const auto found = counts.find(label);
        const double count = found == counts.end() ? 0.0 : static_cast<double>(found->second);
        expectCompare("count of label " + words[2], words[3], count, static_cast<double>(parseInteger(words[4])));
    }
    else if (what == "regions" || what == "active" || what == "triangles" || what == "vertices")
    {
        needWords(words, 4, 4, "expect regions|active|triangles|vertices OP N");
        double actual = 0;
        if (what == "regions")
            actual = static_cast<double>(m_data.getRegions().size());
        else if (what == "active")
            actual = m_data.getActiveRegion();
        else
            actual = static_cast<double>(m_data.getModelCounts()[what == "triangles" ? 0 : 1]);
        expectCompare(what, words[2], actual, static_cast<double>(parseInteger(words[3])));
    }
    else if (what == "consistent")
    {
        needWords(words, 2, 2, "expect consistent");
        const std::vector<std::string> problems = m_data.findInconsistencies();
        if (!problems.empty())
        {
            std::string text = "the storage is not consistent: " + problems.front();
            for (std::size_t i = 1; i < problems.size(); ++i)
                text += "; " + problems[i];
            fail(text);
        }
    }
    else if (what == "control")
    {
        needWords(words, 5, 5, "expect control PLUGIN LABEL VALUE");
        wxWindow* window = control(plugin(words[2]), words[3]);
        const std::string actual = describeValue(window);
        bool same = actual == words[4];
        if (!same && (dynamic_cast<wxSpinCtrl*>(window) || dynamic_cast<wxSpinCtrlDouble*>(window)))
            same = parseNumber(actual) == parseNumber(words[4]);
        if (!same)
            fail("expected control \"" + words[3] + "\" to be " + words[4] + ", got " + actual);
    }
    else if (what == "file")
    {
        needWords(words, 3, 3, "expect file PATH");
        std::error_code error;
        if (!std::filesystem::is_regular_file(words[2], error) || std::filesystem::file_size(words[2], error) == 0)
            fail("expected a non-empty file " + words[2]);
    }
    else if (what == "filesize")
    {
        needWords(words, 5, 5, "expect filesize PATH OP BYTES");
        std::error_code error;
        const auto size = std::filesystem::file_size(words[2], error);
        if (error)
            fail("no file " + words[2]);
        expectCompare("size of " + words[2], words[3], static_cast<double>(size),
                      static_cast<double>(parseInteger(words[4])));
    }
    else
        fail("unknown expectation '" + what + "'");
}

void CScriptRunner::commandPrint(const std::vector<std::string>& words)
{
    needWords(words, 2, 2, "print info|regions|memory");
    if (words[1] == "memory")
    {
        // Peak and current resident memory of the process, and of the undo history; the
        // peak then starts again from the current figure, so each print covers the commands
        // since the last one.
        long peak = 0, now = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
        {
            if (line.rfind("VmHWM:", 0) == 0)
                peak = std::atol(line.c_str() + 6);
            else if (line.rfind("VmRSS:", 0) == 0)
                now = std::atol(line.c_str() + 6);
        }
        const auto history = m_data.getHistorySize();
        m_out << "memory: peak " << (peak + 512) / 1024 << " MiB, now " << (now + 512) / 1024 << " MiB, history "
              << (history[0] + 512 * 1024) / (1024 * 1024) << " of " << history[1] / (1024 * 1024) << " MiB" << std::endl;
        std::ofstream("/proc/self/clear_refs") << "5";
    }
    else if (words[1] == "info")
    {
        if (!m_data.hasData())
            fail("no data set is loaded");
        const auto size = m_data.getDimensions();
        const auto spacing = m_data.getSpacing();
        const auto range = m_data.getDensityRange();
        m_out << "volume: " << size[0] << " " << size[1] << " " << size[2] << "\n";
        m_out << "spacing: " << spacing[0] << " " << spacing[1] << " " << spacing[2] << "\n";
        m_out << "density: " << range[0] << " " << range[1] << "\n";
        m_out << "regions: " << m_data.getRegions().size() << "\n";
        m_out << "active: " << m_data.getActiveRegion() << "\n";
        for (const auto& [label, count] : m_data.getLabelCounts())
        {
            if (label != 0)
                m_out << "label " << label << ": " << count << "\n";
        }
        const auto model = m_data.getModelCounts();
        m_out << "model: " << model[0] << " " << model[1] << std::endl;
    }
    else if (words[1] == "regions")
    {
        const auto regions = m_data.getRegions();
        const int active = m_data.getActiveRegion();
        for (std::size_t i = 0; i < regions.size(); ++i)
        {
            const CRegionInfo& region = regions[i];
            m_out << "region " << i << " " << quoted(region.name) << " " << int(region.red) << " " << int(region.green)
                  << " " << int(region.blue) << " " << int(region.alpha) << " " << (region.visible ? "visible" : "hidden");
            if (static_cast<int>(i) == active)
                m_out << " active";
            m_out << "\n";
        }
        m_out.flush();
    }
    else
        fail("usage: print info|regions");
}

void CScriptRunner::commandScreenshot(const std::vector<std::string>& words)
{
    needWords(words, 2, 2, "screenshot FILE.png");
    m_frame.Raise();
    settle();
    if (!m_frame.saveScreenshot(wxString::FromUTF8(words[1])))
        fail("cannot save the screenshot to " + words[1]);
}

} // namespace velmora
