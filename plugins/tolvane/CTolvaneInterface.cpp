#include "plugins/tolvane/CTolvaneInterface.h"

#include "data/CDataStorage.h"
#include "data/StorageEntries.h"
#include "plugins/tolvane/CTolvaneMenu.h"
#include "plugins/tolvane/CTolvanePanel.h"
#include "plugins/tolvane/CSegmentationFile.h"
#include "plug/Dialogs.h"

#include <wx/filedlg.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>

#include <new>

namespace tolvane {

using namespace data::entries;

CTolvaneInterface::~CTolvaneInterface()
{
    if (m_dataSetConnection.signal)
        m_dataSetConnection.signal->disconnect(m_dataSetConnection.id);
}

plug::CPluginPanel* CTolvaneInterface::createPanel(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) CTolvanePanel(adapter) : nullptr;
}

plug::CPluginMenu* CTolvaneInterface::createMenu(plug::CGuiAdapter* adapter)
{
    return adapter ? new (std::nothrow) CTolvaneMenu(adapter) : nullptr;
}

bool CTolvaneInterface::connect(void* host)
{
    if (!CPluginInterface::connect(host))
        return false;
    bindMenuCommand(17, [this](wxCommandEvent& event) { onLoad(event); });
    bindMenuCommand(18, [this](wxCommandEvent& event) { onSave(event); });
    bindMenuCommand(19, [this](wxCommandEvent& event) { onSaveAs(event); });
    m_dataSetConnection = getBindings().getStorage().getEntrySignal(ENTRY_DATA_SET_LIST).connect(
        kvo::base::CFunctor<void, data::CStorageEntry*>(this, &CTolvaneInterface::onDataSetListChanged));
    return true;
}

void CTolvaneInterface::onDataSetListChanged(data::CStorageEntry*) { m_currentFile.clear(); }

namespace {

const char* const FILE_WILDCARD = "Segmentation Data (*.seg) |*.seg|All Files (*.*) |*.*";

// A name the file system's encoding cannot express converts to nothing: a failure, not a
// file with another name.
std::string narrowPath(const wxString& path)
{
    const wxCharBuffer narrow = path.fn_str();
    return std::string(narrow.data() ? narrow.data() : "", narrow.length());
}

// The file commands' progress function: the progress window's update.
CSegmentationFile::tProgressFunction progressOf(plug::CProgressReporter& reporter)
{
    return CSegmentationFile::tProgressFunction(&reporter, &plug::CProgressReporter::updateProgress);
}

} // namespace

void CTolvaneInterface::onLoad(wxCommandEvent&)
{
    const wxString file =
        plug::selectFile(*this, wxGetTranslation("Please, choose a segmentation data to open..."), wxEmptyString,
                         wxEmptyString, "seg", wxGetTranslation(FILE_WILDCARD), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (file.empty())
        return;
    loadFile(file);
}

bool CTolvaneInterface::loadFile(const wxString& file)
{
    return runFileCommand(file, false);
}

void CTolvaneInterface::onSave(wxCommandEvent&) { save(false); }

void CTolvaneInterface::onSaveAs(wxCommandEvent&) { save(true); }

bool CTolvaneInterface::save(bool askForName)
{
    wxString file(m_currentFile);
    if (file.empty() || askForName)
    {
        file = plug::selectFile(*this, wxGetTranslation("Choose an output file..."), wxEmptyString, wxEmptyString,
                                "seg", wxGetTranslation(FILE_WILDCARD), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (file.empty())
            return true;
    }
    return runFileCommand(file, true);
}

bool CTolvaneInterface::runFileCommand(const wxString& file, bool saving)
{
    using EResult = CSegmentationFile::EResult;
    EResult result = EResult::FAILED;
    const std::string path = narrowPath(file);
    if (!path.empty())
    {
        std::unique_ptr<plug::CProgressReporter> progress = plug::createProgress(
            *this,
            wxGetTranslation(saving ? "Saving the segmentation data, please wait..."
                                    : "Loading segmentation data, please wait..."),
            100);
        progress->Show(true);
        CSegmentationFile segmentation(getBindings().getStorage());
        result = saving ? segmentation.save(path, progressOf(*progress)) : segmentation.load(path, progressOf(*progress));
    }
    if (result == EResult::DONE)
        m_currentFile = file.ToStdWstring();
    else if (result == EResult::FAILED)
        plug::showMessage(*this,
                          wxGetTranslation(saving ? "Failed to save the segmentation data!"
                                                  : "Failed to read input segmentation data!"),
                          wxGetTranslation("Error"), wxOK | wxICON_ERROR);
    return result != EResult::FAILED;
}

} // namespace tolvane
