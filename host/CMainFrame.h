#pragma once
// The host's main window: the scene views in the centre (three ortho slices and the 3D
// model), the plug-in panels docked in one column at the right (wxAUI; each in a pane that
// scrolls when the column is shorter than the panel) and the menu bar with File, Edit and
// one menu per plug-in. The window takes its size from the display it opens on.

#include <wx/aui/framemanager.h>
#include <wx/frame.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

class wxScrolledWindow;

namespace velmora {

class CVelmoraHost;
class CHostData;
struct CHostedPlugin;

namespace views {
class CSceneViews;
}

class CMainFrame : public wxFrame
{
public:
    enum
    {
        ID_OPEN_DICOM = wxID_HIGHEST + 1,
        ID_OPEN_NIFTI,
        ID_OPEN_RAW,
        ID_LOAD_PHANTOM,
        ID_SAVE_SCREENSHOT,
        ID_EXPORT_LABELS,
        ID_IMPORT_LABELS,
        ID_EXPORT_MODEL
    };

    CMainFrame(CVelmoraHost& host, CHostData& data);
    ~CMainFrame() override;

    //! Creates the plug-ins' panels and menus and docks them. Problems go to `errors`.
    void installPlugins(std::vector<std::string>& errors);
    //! Destroys the plug-in panels and menus (before the plug-ins are destroyed).
    void removePlugins();

    //! Shows or hides a plug-in's panel, keeping its check item in step.
    void showPluginPanel(CHostedPlugin& plugin, bool show);
    bool isPluginPanelShown(const CHostedPlugin& plugin);

    //! Shows slice `index` along `axis` (0: YZ, 1: XZ, 2: XY), clamped to the volume; false
    //! without data or for another axis.
    bool showSlice(int axis, int index);
    //! Loads a data set from a command-line source; shows an error and keeps the current
    //! data set on failure. Returns true on success.
    bool loadData(const std::string& source);

    //! Saves the main window's client area, views included, as a PNG file; every view
    //! draws itself first.
    bool saveScreenshot(const wxString& path);

    //! The frame's default colours and font, looked up once (GTK's style machinery answers
    //! each lookup in about 0.1 ms, and every paint of the frame asks several times) and
    //! again after a change of the system's colours.
    wxVisualAttributes GetDefaultAttributes() const override;

    wxAuiManager& getAuiManager() { return m_aui; }
    //! The docked pane (a scrolled window) that holds a plug-in's panel; null for none.
    wxWindow* getPaneWindow(const CHostedPlugin& plugin) const;
    //! Scrolls the pane that holds `control` (a window inside a plug-in panel) so that the
    //! control is in view. False when it is in no plug-in pane.
    bool scrollIntoView(wxWindow* control);
    wxWindow* getViewArea();
    views::CSceneViews& getSceneViews() { return *m_views; }

private:
    void buildMenus();
    void onMenu(wxCommandEvent& event);
    void onPaneClose(wxAuiManagerEvent& event);
    void onClose(wxCloseEvent& event);

    void loadWithMessage(const std::vector<std::string>& words);
    //! A message box through the host's dialog service when there is one.
    void report(const wxString& text, const wxString& caption, long style);
    //! A file selector through the host's dialog service (script mode answers it), or the
    //! toolkit's own; empty when cancelled.
    wxString selectFile(const wxString& message, const wxString& defaultFile, const wxString& wildcard, int flags);
    //! File menu: the segmentation out or in as a NIfTI label map, the model as STL in
    //! patient coordinates.
    void exchangeFiles(int id);

    CVelmoraHost& m_host;
    CHostData& m_data;
    wxAuiManager m_aui;
    views::CSceneViews* m_views = nullptr;
    bool m_pluginsInstalled = false;
    std::map<const wxWindow*, wxScrolledWindow*> m_panes; //!< plug-in panel -> its pane
    mutable std::optional<wxVisualAttributes> m_defaultAttributes;
};

} // namespace velmora
