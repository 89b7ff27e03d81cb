#pragma once
// The plug-ins' modal interactions. Each asks the host's dialog service (through the
// actor's bindings and the scene hub) and falls back to the real wxWidgets dialog when the
// host has none.

#include "plug/CAppBindings.h"
#include "plug/CDialogService.h"

#include <memory>

namespace plug {

//! The host's service, or null (no bindings, no hub or no service).
CDialogService* findDialogService(const CAppActor& actor);

//! A Yes/No confirmation; wxYES or wxNO.
int askYesNo(const CAppActor& actor, const wxString& message, const wxString& caption,
             long style = wxYES_NO | wxICON_QUESTION);
//! A message box with OK only.
void showMessage(const CAppActor& actor, const wxString& message, const wxString& caption,
                 long style = wxOK | wxICON_INFORMATION);
//! A file selector; empty when cancelled.
wxString selectFile(const CAppActor& actor, const wxString& message, const wxString& defaultPath,
                    const wxString& defaultFile, const wxString& extension, const wxString& wildcard, int flags);
//! A colour chooser; false when cancelled.
bool chooseColour(const CAppActor& actor, const wxColour& initial, const wxString& caption, wxColour& chosen);
//! A progress window (the host's, or a new CProgress), not yet shown.
std::unique_ptr<CProgressReporter> createProgress(const CAppActor& actor, const wxString& message, int maximum);

} // namespace plug
