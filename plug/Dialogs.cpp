#include "plug/Dialogs.h"

#include "plug/CAppSceneHub.h"
#include "plug/CProgress.h"

#include <wx/app.h>
#include <wx/colordlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

namespace plug {

CDialogService* findDialogService(const CAppActor& actor)
{
    if (!actor.hasBindings())
        return nullptr;
    CAppSceneHub* hub = actor.getBindings().getSceneHubPointer();
    return hub ? hub->getDialogService() : nullptr;
}

namespace {
wxWindow* dialogParent() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }
} // namespace

int askYesNo(const CAppActor& actor, const wxString& message, const wxString& caption, long style)
{
    if (CDialogService* service = findDialogService(actor))
        return service->confirm(message, caption, style);
    return wxMessageBox(message, caption, style, dialogParent()) == wxYES ? wxYES : wxNO;
}

void showMessage(const CAppActor& actor, const wxString& message, const wxString& caption, long style)
{
    if (CDialogService* service = findDialogService(actor))
        service->showMessage(message, caption, style);
    else
        wxMessageBox(message, caption, style, dialogParent());
}

wxString selectFile(const CAppActor& actor, const wxString& message, const wxString& defaultPath,
                    const wxString& defaultFile, const wxString& extension, const wxString& wildcard, int flags)
{
    if (CDialogService* service = findDialogService(actor))
        return service->selectFile(message, defaultPath, defaultFile, extension, wildcard, flags);
    return wxFileSelector(message, defaultPath, defaultFile, extension, wildcard, flags, dialogParent());
}

bool chooseColour(const CAppActor& actor, const wxColour& initial, const wxString& caption, wxColour& chosen)
{
    if (CDialogService* service = findDialogService(actor))
        return service->chooseColour(initial, caption, chosen);
    const wxColour colour = wxGetColourFromUser(dialogParent(), initial, caption);
    if (!colour.IsOk())
        return false;
    chosen = colour;
    return true;
}

std::unique_ptr<CProgressReporter> createProgress(const CAppActor& actor, const wxString& message, int maximum)
{
    if (CDialogService* service = findDialogService(actor))
    {
        if (CProgressReporter* reporter = service->createProgress(message, maximum))
            return std::unique_ptr<CProgressReporter>(reporter);
    }
    return std::make_unique<CProgress>(message, maximum);
}

} // namespace plug
