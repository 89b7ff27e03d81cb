#pragma once
// The progress window of long commands: a modal wxProgressDialog bound as an algorithm's
// progress callback (updateProgress). While shown, every other top-level window is disabled
// and the wait cursor is on. Reporting the maximum never ends the dialog (its range is one
// more than the maximum); a total of 0 or a current value at or beyond the total pulses.

#include "plug/CDialogService.h"

#include <wx/progdlg.h>
#include <wx/utils.h>

class CProgress : public wxProgressDialog, public plug::CProgressReporter
{
public:
    CProgress(const wxString& message, int maximum);
    ~CProgress() override;

    //! Showing creates one window disabler (other windows disabled); hiding destroys it.
    bool Show(bool show = true) override;
    //! Shows maximum * current / total, or pulses; false when the user pressed cancel.
    bool updateProgress(int current, int total) override;

    int getMaximum() const { return m_maximum; }
    bool hasDisabler() const { return m_disabler != nullptr; }
    //! The value of the last Update, -1 after a pulse (for tests).
    int getLastValue() const { return m_lastValue; }

private:
    int m_maximum;
    wxWindowDisabler* m_disabler;
    int m_lastValue = -1;
};
