#pragma once
// The dialog service of script mode: answers come from the script, queued in order; each
// dialog consumes the next answer of its kind. A dialog that finds no answer never blocks:
// it gives the safe answer (No, cancel) and records a failure naming the dialog's message,
// which ends the script. Message boxes need no answer; their text goes to standard error.

#include "plug/CDialogService.h"

#include <deque>
#include <ostream>
#include <string>

namespace velmora {

class CScriptDialogService : public plug::CDialogService
{
public:
    enum class EKind
    {
        YesNo,
        File,
        Colour,
        Progress
    };
    struct CAnswer
    {
        EKind kind;
        bool positive = true; //!< yes / a file / a colour; false = no / cancelled
        std::string file;
        unsigned char red = 0, green = 0, blue = 0;
        std::string text; //!< the script's words, for messages about left-over answers
    };

    //! `progress`: long commands print their progress on `messages`, one line per tenth.
    explicit CScriptDialogService(std::ostream& messages, bool progress = false)
        : m_messages(messages), m_progress(progress)
    {
    }

    void queue(const CAnswer& answer) { m_answers.push_back(answer); }
    const std::deque<CAnswer>& getQueued() const { return m_answers; }
    void clearQueued() { m_answers.clear(); }

    //! The first failure since the last call (empty when none), and forget it.
    std::string takeFailure();

    int confirm(const wxString& message, const wxString& caption, long style) override;
    void showMessage(const wxString& message, const wxString& caption, long style) override;
    wxString selectFile(const wxString& message, const wxString& defaultPath, const wxString& defaultFile,
                        const wxString& extension, const wxString& wildcard, int flags) override;
    bool chooseColour(const wxColour& initial, const wxString& caption, wxColour& chosen) override;
    plug::CProgressReporter* createProgress(const wxString& message, int maximum) override;

private:
    bool take(EKind kind, CAnswer& answer);
    void fail(const std::string& text);

    std::ostream& m_messages;
    std::deque<CAnswer> m_answers;
    std::string m_failure;
    bool m_progress;
};

} // namespace velmora
