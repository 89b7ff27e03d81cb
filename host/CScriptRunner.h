#pragma once
// Script mode: runs the lines of a script file one by one in the running application.
// Each line is one command; the first failure ends the run with "FILE:LINE: error: REASON"
// on standard error. With timings, "timing: LINE SECONDS TEXT" follows every command.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

class wxWindow;

namespace velmora {

class CVelmoraHost;
class CMainFrame;
class CHostData;
class CScriptDialogService;
struct CHostedPlugin;

class CScriptRunner
{
public:
    //! Loads a data source given as on the command line (phantom[:XxYxZ], dicom:DIR,
    //! nifti:FILE, raw:FILE:XxYxZ[:DX,DY,DZ]); throws std::runtime_error on failure.
    using tLoader = std::function<void(const std::vector<std::string>& words)>;

    CScriptRunner(CVelmoraHost& host, CMainFrame& frame, CHostData& data, CScriptDialogService& dialogs,
                  std::ostream& out, std::ostream& err);

    void setTimings(bool timings) { m_timings = timings; }

    //! Runs a script file; returns 0 when every line succeeded, 1 otherwise.
    int runFile(const std::string& path);
    //! Runs lines given in memory (FILE names them in messages).
    int runLines(const std::vector<std::string>& lines, const std::string& file);

    //! Failure of a script command; its text is the REASON of the error line.
    struct CFailure
    {
        std::string reason;
    };

    //! Reports a wxWidgets assertion: the running command fails with it.
    static void reportAssertion(const std::string& text);
    //! Reports an error of wxWidgets' log: the running command fails with it.
    static void reportLogError(const std::string& text);

private:
    void execute(const std::vector<std::string>& words);
    void checkDialogs();
    void settle();

    CHostedPlugin& plugin(const std::string& name);
    wxWindow* control(CHostedPlugin& hosted, const std::string& label);

    // One file per group: script/DataCommands.cpp, PanelCommands.cpp, ExpectCommands.cpp,
    // OutputCommands.cpp.
    void commandLoad(const std::vector<std::string>& words);
    void commandHistory(const std::vector<std::string>& words);
    void commandExchange(const std::vector<std::string>& words);
    void commandSet(const std::vector<std::string>& words);
    void commandCheck(const std::vector<std::string>& words);
    void commandPress(const std::vector<std::string>& words);
    void commandMenu(const std::vector<std::string>& words);
    void commandCell(const std::vector<std::string>& words);
    void commandDoubleClick(const std::vector<std::string>& words);
    void commandPick(const std::vector<std::string>& words);
    void commandStroke(const std::vector<std::string>& words);
    void commandAnswer(const std::vector<std::string>& words);
    void commandSlice(const std::vector<std::string>& words);
    void commandExpect(const std::vector<std::string>& words);
    void commandPrint(const std::vector<std::string>& words);
    void commandScreenshot(const std::vector<std::string>& words);

    CVelmoraHost& m_host;
    CMainFrame& m_frame;
    CHostData& m_data;
    CScriptDialogService& m_dialogs;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_timings = false;
};

} // namespace velmora
