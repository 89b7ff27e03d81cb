#include "host/CVelmoraApp.h"

#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptDialogService.h"
#include "host/CScriptRunner.h"
#include "host/CVelmoraHost.h"

#include <dlfcn.h>

#include <wx/apptrait.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <iostream>

namespace velmora {

namespace {

// In script mode an assertion prints and fails the running command instead of opening a
// dialog that nobody would answer.
void scriptAssertHandler(const wxString& file, int line, const wxString& function, const wxString& condition,
                         const wxString& message)
{
    std::string text = file.utf8_string() + ":" + std::to_string(line) + " " + function.utf8_string() + ": " +
                       condition.utf8_string();
    if (!message.empty())
        text += " (" + message.utf8_string() + ")";
    std::cerr << "assertion: " << text << std::endl;
    CScriptRunner::reportAssertion(text);
}

// In script mode wxWidgets' log goes to standard error instead of message boxes that nobody
// would close; an error fails the running command.
class CScriptLog : public wxLog
{
protected:
    void DoLogTextAtLevel(wxLogLevel level, const wxString& text) override
    {
        if (level <= wxLOG_Error)
        {
            std::cerr << "log error: " << text.utf8_string() << std::endl;
            CScriptRunner::reportLogError(text.utf8_string());
        }
        else if (level <= wxLOG_Message)
            std::cerr << "warning: " << text.utf8_string() << std::endl;
    }
};

// wxWidgets makes a new log target when something logs after the active one is gone, as
// while the application shuts down; in script mode that one prints too, where a message box
// would fail without a window to own it and hide what was logged.
class CScriptTraits : public wxGUIAppTraits
{
public:
    wxLog* CreateLogTarget() override { return new CScriptLog; }
};

// Turns GTK's theme animations off (the fades of buttons and spin controls as their state
// changes). A script has no one to watch them, and their frames, some 200 ms after each
// such change, would be drawn within the following commands and their timings. Looked up
// at run time: the host is not built against GTK's headers.
void stopThemeAnimations()
{
    using tSettings = void* (*)();
    using tSet = void (*)(void*, const char*, ...);
    auto settings = reinterpret_cast<tSettings>(dlsym(RTLD_DEFAULT, "gtk_settings_get_default"));
    auto set = reinterpret_cast<tSet>(dlsym(RTLD_DEFAULT, "g_object_set"));
    if (settings && set)
        if (void* object = settings())
            set(object, "gtk-enable-animations", 0, nullptr);
}

} // namespace

wxAppTraits* CVelmoraApp::CreateTraits()
{
    if (!m_options.scriptFile.empty())
        return new CScriptTraits;
    return wxApp::CreateTraits();
}

CVelmoraApp::CVelmoraApp(CAppOptions options) : m_options(std::move(options)) {}

CVelmoraApp::~CVelmoraApp() = default;

bool CVelmoraApp::OnInit()
{
    wxInitAllImageHandlers();
    const bool scripted = !m_options.scriptFile.empty();
    if (scripted)
    {
        wxSetAssertHandler(&scriptAssertHandler);
        delete wxLog::SetActiveTarget(new CScriptLog);
        stopThemeAnimations();
    }

    m_host = std::make_unique<CVelmoraHost>();
    CHostData::registerObjects(m_host->getFactory());
    m_data = std::make_unique<CHostData>(m_host->getStorage());
    m_data->createEntries();
    if (scripted)
    {
        m_dialogs = new CScriptDialogService(std::cerr, m_options.progress);
        m_host->getSceneHub().setDialogService(m_dialogs.get());
    }

    for (const CLoadFailure& failure : m_host->getPlugins().loadFolder(m_options.pluginFolder))
        std::cerr << "failed: " << failure.file << ": " << failure.reason << std::endl;

    m_frame = new CMainFrame(*m_host, *m_data);
    SetTopWindow(m_frame);
    m_frame->Show();
    std::vector<std::string> errors;
    m_frame->installPlugins(errors);
    for (const std::string& error : errors)
        std::cerr << "plug-in error: " << error << std::endl;

    if (!m_options.dataSource.empty())
    {
        if (!m_frame->loadData(m_options.dataSource) && scripted)
        {
            m_exitCode = 1;
            m_frame->Close(true);
            return true;
        }
    }
    else if (!scripted)
        m_frame->loadData("phantom");

    if (scripted)
        CallAfter(&CVelmoraApp::runScript);
    return true;
}

void CVelmoraApp::runScript()
{
    // The script starts where a user would: at a window shown and drawn whole. Its first
    // drawing (the panels' first layout and paint, the views' GL set-up) would otherwise fall
    // to the first commands and their timings. GTK draws what was shown on its next frames,
    // so the yields (idle time included: the panes are shown from there) span a few of them.
    for (int i = 0; i < 10; ++i)
    {
        Yield(true);
        m_frame->Update();
        wxMilliSleep(10);
    }
    CScriptRunner runner(*m_host, *m_frame, *m_data, *m_dialogs, std::cout, std::cerr);
    runner.setTimings(m_options.timings);
    m_exitCode = runner.runFile(m_options.scriptFile);
    std::cout.flush();
    m_frame->Close(true);
}

bool CVelmoraApp::OnExceptionInMainLoop()
{
    std::string text = "unknown error";
    try
    {
        throw;
    }
    catch (const std::exception& error)
    {
        text = error.what();
    }
    catch (...)
    {
    }
    std::cerr << "error: " << text << std::endl;
    if (m_options.scriptFile.empty())
        wxMessageBox(wxString::FromUTF8(text), "Error", wxOK | wxICON_ERROR, m_frame);
    return true;
}

int CVelmoraApp::OnRun()
{
    const int result = wxApp::OnRun();
    return m_exitCode != 0 ? m_exitCode : result;
}

int CVelmoraApp::OnExit()
{
    // Windows first (views and panels observe the storage), then the plug-ins, the storage
    // and the libraries.
    DeletePendingObjects();
    m_frame = nullptr;
    m_data.reset();
    if (m_host)
        m_host->shutdown();
    m_host.reset();
    m_dialogs.reset();
    return wxApp::OnExit();
}

} // namespace velmora
