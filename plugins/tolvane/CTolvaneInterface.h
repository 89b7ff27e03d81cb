#pragma once
// The Tolvane interface: creates the region panel and menu; binds the file commands
// idBase + 17, + 18, + 19 (load, save, save as) and forgets the current file name whenever
// the host's data set list (entry 101) changes.

#include "plug/CPluginInterface.h"
#include "toolkit/mod/CSignal.h"

#include <string>

namespace data {
class CStorageEntry;
}

namespace tolvane {

class CTolvaneInterface : public plug::CPluginInterface
{
public:
    explicit CTolvaneInterface(std::uint32_t flags) : CPluginInterface(flags) {}
    //! Disconnects from entry 101 (the storage outlives the plug-ins in the host).
    ~CTolvaneInterface() override;

    //! The region panel (CTolvanePanel); null on failure.
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override;
    //! The menu with the segmentation file commands (CTolvaneMenu); null on failure.
    plug::CPluginMenu* createMenu(plug::CGuiAdapter* adapter) override;
    plug::CPluginToolbar* createToolbar(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override;

    virtual void onLoad(wxCommandEvent& event);
    virtual void onSave(wxCommandEvent& event);
    virtual void onSaveAs(wxCommandEvent& event);

    //! Loads a segmentation file: progress window, the error message on failure, the
    //! current file name on success. False when it failed (a cancel changes nothing and
    //! counts as no failure).
    bool loadFile(const wxString& file);
    //! Saves to the current file, or to a file asked for when there is none or `askForName`
    //! is set (a cancelled dialog does nothing). Same messages and results as loadFile.
    bool save(bool askForName);

    //! The file of the last successful load or save; empty after the data set changed.
    const std::wstring& getCurrentFile() const { return m_currentFile; }
    void setCurrentFile(const std::wstring& file) { m_currentFile = file; }

private:
    //! Load or save of `file` with its progress window, message and current file name.
    bool runFileCommand(const wxString& file, bool saving);
    void onDataSetListChanged(data::CStorageEntry* entry);

    std::wstring m_currentFile;
    kvo::mod::CConnection m_dataSetConnection;
};

} // namespace tolvane
