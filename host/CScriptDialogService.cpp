#include "host/CScriptDialogService.h"

#include <wx/defs.h>

#include <algorithm>

namespace velmora {

namespace {

// A progress window that is never shown: it answers cancel at its first report when the
// script said so, and otherwise lets the command run to the end. With an output it prints
// "progress: MESSAGE N%" each time the command passes a tenth (10%, 20% ... 100%).
class CScriptProgress : public plug::CProgressReporter
{
public:
    CScriptProgress(bool cancel, std::ostream* out, const wxString& message)
        : m_cancel(cancel), m_out(out), m_message(message.utf8_string())
    {
    }
    bool Show(bool) override { return true; }
    bool updateProgress(int current, int total) override
    {
        if (m_out && total > 0)
        {
            const long long clamped = std::clamp<long long>(current, 0, total);
            const int tenth = static_cast<int>(clamped * 10 / total);
            if (tenth > m_tenth)
            {
                m_tenth = tenth;
                *m_out << "progress: " << m_message << ' ' << tenth * 10 << '%' << std::endl;
            }
        }
        if (m_cancel)
        {
            m_cancel = false;
            m_cancelled = true;
        }
        return !m_cancelled;
    }

private:
    bool m_cancel;
    bool m_cancelled = false;
    std::ostream* m_out;
    std::string m_message;
    int m_tenth = 0;
};

} // namespace

std::string CScriptDialogService::takeFailure()
{
    std::string failure;
    failure.swap(m_failure);
    return failure;
}

void CScriptDialogService::fail(const std::string& text)
{
    if (m_failure.empty())
        m_failure = text;
}

bool CScriptDialogService::take(EKind kind, CAnswer& answer)
{
    for (auto it = m_answers.begin(); it != m_answers.end(); ++it)
    {
        if (it->kind == kind)
        {
            answer = *it;
            m_answers.erase(it);
            return true;
        }
    }
    return false;
}

int CScriptDialogService::confirm(const wxString& message, const wxString&, long)
{
    CAnswer answer;
    if (!take(EKind::YesNo, answer))
    {
        fail("unanswered confirmation: \"" + message.utf8_string() + "\"");
        return wxNO;
    }
    return answer.positive ? wxYES : wxNO;
}

void CScriptDialogService::showMessage(const wxString& message, const wxString&, long)
{
    m_messages << "message: " << message.utf8_string() << std::endl;
}

wxString CScriptDialogService::selectFile(const wxString& message, const wxString&, const wxString&,
                                          const wxString&, const wxString&, int)
{
    CAnswer answer;
    if (!take(EKind::File, answer))
    {
        fail("unanswered file selector: \"" + message.utf8_string() + "\"");
        return wxString();
    }
    return answer.positive ? wxString::FromUTF8(answer.file) : wxString();
}

bool CScriptDialogService::chooseColour(const wxColour&, const wxString& caption, wxColour& chosen)
{
    CAnswer answer;
    if (!take(EKind::Colour, answer))
    {
        fail("unanswered colour chooser: \"" + caption.utf8_string() + "\"");
        return false;
    }
    if (!answer.positive)
        return false;
    chosen = wxColour(answer.red, answer.green, answer.blue);
    return true;
}

plug::CProgressReporter* CScriptDialogService::createProgress(const wxString& message, int)
{
    CAnswer answer;
    const bool cancel = take(EKind::Progress, answer);
    return new CScriptProgress(cancel, m_progress ? &m_messages : nullptr, message);
}

} // namespace velmora
