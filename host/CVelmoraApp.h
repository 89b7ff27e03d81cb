#pragma once
// The host application: creates the host objects and the main window, loads the plug-ins
// and a data set, and in script mode runs the script and quits with its result.

#include "toolkit/base/CObject.h"

#include <wx/app.h>

#include <memory>
#include <string>

namespace velmora {

class CVelmoraHost;
class CHostData;
class CMainFrame;
class CScriptDialogService;

struct CAppOptions
{
    std::string pluginFolder;
    std::string dataSource;
    std::string scriptFile;
    bool timings = false;
    bool progress = false; //!< script mode: progress of long commands on standard error
};

class CVelmoraApp : public wxApp
{
public:
    explicit CVelmoraApp(CAppOptions options);
    ~CVelmoraApp() override;

    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    //! A command that raised shows its error and the application goes on.
    bool OnExceptionInMainLoop() override;

protected:
    wxAppTraits* CreateTraits() override;

private:
    void runScript();

    CAppOptions m_options;
    std::unique_ptr<CVelmoraHost> m_host;
    std::unique_ptr<CHostData> m_data;
    kvo::base::CRefPtr<CScriptDialogService> m_dialogs;
    CMainFrame* m_frame = nullptr;
    int m_exitCode = 0;
};

} // namespace velmora
