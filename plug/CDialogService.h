#pragma once
// The one service through which the plug-ins' modal interactions pass: confirmations,
// message boxes, file selectors, colour choosers and progress windows. The host provides it
// (through its scene hub, reached by the plug-ins' bindings) so that a host running a script
// can answer them without blocking. Operations are virtual: the host's code runs whichever
// library's copy of the framework calls them. Without a service the plug-ins show the real
// wxWidgets dialogs (see Dialogs.h).

#include "toolkit/base/CObject.h"

#include <wx/colour.h>
#include <wx/string.h>

namespace plug {

//! What a progress window offers to the command that runs an algorithm.
class CProgressReporter
{
public:
    virtual ~CProgressReporter() = default;
    //! Shows or hides the window.
    virtual bool Show(bool show = true) = 0;
    //! One report of the algorithm; false when the user cancelled.
    virtual bool updateProgress(int current, int total) = 0;
};

class CDialogService : public kvo::base::CObject
{
public:
    //! A Yes/No confirmation; returns wxYES or wxNO.
    virtual int confirm(const wxString& message, const wxString& caption, long style) = 0;
    //! A message box with an OK button only.
    virtual void showMessage(const wxString& message, const wxString& caption, long style) = 0;
    //! A file selector; returns the chosen path, empty when cancelled.
    virtual wxString selectFile(const wxString& message, const wxString& defaultPath, const wxString& defaultFile,
                                const wxString& extension, const wxString& wildcard, int flags) = 0;
    //! A colour chooser; false when cancelled, otherwise the colour in `chosen`.
    virtual bool chooseColour(const wxColour& initial, const wxString& caption, wxColour& chosen) = 0;
    //! A progress window for a command; null to let the plug-in show its own window.
    //! The caller owns the result.
    virtual CProgressReporter* createProgress(const wxString& message, int maximum) = 0;
};

} // namespace plug
