#include "plug/CProgress.h"

#include <wx/app.h>
#include <wx/intl.h>

CProgress::CProgress(const wxString& message, int maximum)
    : wxProgressDialog(wxGetTranslation("Progress"), message, maximum + 1, nullptr,
                       wxPD_CAN_ABORT | wxPD_APP_MODAL | wxPD_ELAPSED_TIME),
      m_maximum(maximum), m_disabler(nullptr)
{
    SetCursor(wxCursor(wxCURSOR_WAIT));
}

CProgress::~CProgress()
{
    SetCursor(wxNullCursor);
    delete m_disabler;
    m_disabler = nullptr;
}

bool CProgress::Show(bool show)
{
    if (show && !m_disabler)
        m_disabler = new wxWindowDisabler(this);
    else if (!show && m_disabler)
    {
        delete m_disabler;
        m_disabler = nullptr;
    }
    const bool result = wxProgressDialog::Show(show);
    if (wxTheApp)
        wxTheApp->Yield(true);
    return result;
}

bool CProgress::updateProgress(int current, int total)
{
    bool keepGoing;
    if (total > 0 && current < total)
    {
        // 64-bit product: maximum * current must not overflow for large totals.
        m_lastValue = static_cast<int>(static_cast<long long>(m_maximum) * current / total);
        keepGoing = Update(m_lastValue, wxEmptyString);
    }
    else
    {
        m_lastValue = -1;
        keepGoing = Pulse(wxEmptyString);
    }
    if (wxTheApp)
        wxTheApp->Yield(true);
    Refresh(true);
    wxProgressDialog::Update();
    return keepGoing;
}
