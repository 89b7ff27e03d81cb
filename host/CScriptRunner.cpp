#include "host/CScriptRunner.h"

#include "data/StorageExceptions.h"
#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptDialogService.h"
#include "host/CVelmoraHost.h"
#include "host/ScriptWords.h"
#include "host/script/ScriptSupport.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace velmora {

using namespace script;

namespace {

std::string pendingAssertion;

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
        // GTK draws on the ticks of its frame clock: right after a drawing, what a command
        // changed waits for the next tick and is drawn within a later command, while after a
        // pause it is drawn within this one. Timed commands draw what they changed before
        // their time is taken, so that each time holds the drawing of its own result.
        if (m_timings)
            m_frame.Update();
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
    static const char* const needData[] = {"undo", "redo", "export", "import"};
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
    else if (command == "undo" || command == "redo")
        commandHistory(words);
    else if (command == "export" || command == "import")
        commandExchange(words);
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


} // namespace velmora
