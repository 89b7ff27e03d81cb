#include "host/CMainFrame.h"

#include <algorithm>

#include "host/CDataExchange.h"
#include "host/CHostData.h"
#include "host/CVelmoraHost.h"
#include "host/DataSources.h"
#include "host/views/CSceneViews.h"
#include "plug/Dialogs.h"

#include <dlfcn.h>

#include <wx/aui/dockart.h>
#include <wx/evtloop.h>
#include <wx/filename.h>
#include <wx/dcclient.h>

#include <wx/graphics.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/textdlg.h>
#include <wx/utils.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/display.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

namespace velmora {

namespace {

// The toolkit's screen DC draws through a cairo surface of the root window that it keeps
// for the whole process, and cairo keeps a snapshot of a surface read as a source until
// the surface is marked dirty. Nothing marks the root window dirty when our own windows
// repaint, so every screenshot after the first would show the first one's pixels.
// libcairo is loaded with the toolkit; it is looked up at run time so that the build
// needs no cairo headers.
void forgetScreenSnapshot(wxScreenDC& screen)
{
    using tGetTarget = void* (*)(void*);
    using tMarkDirty = void (*)(void*);
    static const auto getTarget = reinterpret_cast<tGetTarget>(dlsym(RTLD_DEFAULT, "cairo_get_target"));
    static const auto markDirty = reinterpret_cast<tMarkDirty>(dlsym(RTLD_DEFAULT, "cairo_surface_mark_dirty"));
    wxGraphicsContext* context = screen.GetGraphicsContext();
    void* cairo = context ? context->GetNativeContext() : nullptr;
    if (cairo && getTarget && markDirty)
    {
        if (void* surface = getTarget(cairo))
            markDirty(surface);
    }
}

// The work area (the display less panels and docks) of the display the window is on.
wxRect workArea(const wxWindow* window)
{
    const int index = wxDisplay::GetFromWindow(window);
    const wxDisplay display(index == wxNOT_FOUND ? 0u : static_cast<unsigned>(index));
    const wxRect area = display.GetClientArea();
    return area.IsEmpty() ? wxRect(0, 0, 1280, 720) : area;
}

// Draws only the parts of the docking layout that a paint of the frame has to renew. The
// frame is painted whenever anything in it is (each view, on every slice change), and the
// layout's captions, borders and sashes, their texts measured each time, would otherwise all
// be drawn again, outside the region that reaches the screen too. Outside a paint event (an
// update region that is empty) everything is drawn.
class CPaintedDockArt : public wxAuiDefaultDockArt
{
public:
    wxAuiDockArt* Clone() override { return new CPaintedDockArt(*this); }

    void DrawSash(wxDC& dc, wxWindow* window, int orientation, const wxRect& rect) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawSash(dc, window, orientation, rect);
    }
    void DrawBackground(wxDC& dc, wxWindow* window, int orientation, const wxRect& rect) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawBackground(dc, window, orientation, rect);
    }
    void DrawCaption(wxDC& dc, wxWindow* window, const wxString& text, const wxRect& rect, wxAuiPaneInfo& pane) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawCaption(dc, window, text, rect, pane);
    }
    void DrawGripper(wxDC& dc, wxWindow* window, const wxRect& rect, wxAuiPaneInfo& pane) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawGripper(dc, window, rect, pane);
    }
    void DrawBorder(wxDC& dc, wxWindow* window, const wxRect& rect, wxAuiPaneInfo& pane) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawBorder(dc, window, rect, pane);
    }
    void DrawPaneButton(wxDC& dc, wxWindow* window, int button, int state, const wxRect& rect,
                        wxAuiPaneInfo& pane) override
    {
        if (needed(window, rect))
            wxAuiDefaultDockArt::DrawPaneButton(dc, window, button, state, rect, pane);
    }

private:
    static bool needed(const wxWindow* window, const wxRect& rect)
    {
        if (!window)
            return true;
        const wxRegion& update = window->GetUpdateRegion();
        return update.IsEmpty() || update.Contains(rect) != wxOutRegion;
    }
};

} // namespace

wxVisualAttributes CMainFrame::GetDefaultAttributes() const
{
    if (!m_defaultAttributes)
        m_defaultAttributes = wxFrame::GetDefaultAttributes();
    return *m_defaultAttributes;
}

CMainFrame::CMainFrame(CVelmoraHost& host, CHostData& data)
    : wxFrame(nullptr, wxID_ANY, "Velmora"), m_host(host), m_data(data)
{
    // The whole work area up to 1600 x 1000 (laptop screens need every pixel), nine tenths
    // of it beyond.
    const wxRect area = workArea(this);
    const wxSize size(area.width <= 1600 ? area.width : area.width * 9 / 10,
                      area.height <= 1000 ? area.height : area.height * 9 / 10);
    SetSize(wxRect(area.x + (area.width - size.x) / 2, area.y + (area.height - size.y) / 2, size.x, size.y));
    m_aui.SetManagedWindow(this);
    m_aui.SetArtProvider(new CPaintedDockArt);
    m_views = new views::CSceneViews(this, host.getStorage(), host.getSceneHub());
    m_aui.AddPane(m_views, wxAuiPaneInfo().Name("views").CenterPane());
    buildMenus();
    CreateStatusBar();
    m_aui.Update();
    Bind(wxEVT_MENU, &CMainFrame::onMenu, this);
    Bind(wxEVT_AUI_PANE_CLOSE, &CMainFrame::onPaneClose, this);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::onClose, this);
    Bind(wxEVT_SYS_COLOUR_CHANGED, [this](wxSysColourChangedEvent& event) {
        m_defaultAttributes.reset();
        event.Skip();
    });
}

CMainFrame::~CMainFrame()
{
    removePlugins();
    m_aui.UnInit();
}

void CMainFrame::buildMenus()
{
    auto* file = new wxMenu;
    file->Append(ID_OPEN_DICOM, "Open DICOM Series...");
    file->Append(ID_OPEN_NIFTI, "Open NIfTI File...");
    file->Append(ID_OPEN_RAW, "Open Raw Volume...");
    file->Append(ID_LOAD_PHANTOM, "Load Phantom");
    file->AppendSeparator();
    file->Append(ID_EXPORT_LABELS, "Export Segmentation...");
    file->Append(ID_IMPORT_LABELS, "Import Segmentation...");
    file->Append(ID_EXPORT_MODEL, "Export Model in Patient Coordinates...");
    file->AppendSeparator();
    file->Append(ID_SAVE_SCREENSHOT, "Save Screenshot...");
    file->AppendSeparator();
    file->Append(wxID_EXIT, "Quit");
    auto* edit = new wxMenu;
    edit->Append(wxID_UNDO, "Undo\tCtrl+Z");
    edit->Append(wxID_REDO, "Redo\tCtrl+Y");
    auto* bar = new wxMenuBar;
    bar->Append(file, "File");
    bar->Append(edit, "Edit");
    SetMenuBar(bar);
}

void CMainFrame::installPlugins(std::vector<std::string>& errors)
{
    m_host.getPlugins().createAll(this, errors);
    m_pluginsInstalled = true;
    // The panels share one column at the right, as wide as the widest panel (the views keep
    // the rest). Each sits in a pane that scrolls vertically: on a short screen the column
    // shares its height among the panes and every control stays reachable.
    const int scrollbar = std::max(0, wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this));
    int width = 0;
    for (CHostedPlugin& plugin : m_host.getPlugins().getPlugins())
    {
        if (plugin.panel)
            width = std::max(width, plugin.panel->GetBestSize().x + scrollbar);
    }
    int position = 0;
    for (CHostedPlugin& plugin : m_host.getPlugins().getPlugins())
    {
        if (plugin.panel)
        {
            auto* pane = new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
            pane->SetName(wxString::FromUTF8(plugin.name) + " pane");
            plugin.panel->Reparent(pane);
            plugin.panel->Show(); // the pane is shown and hidden by the dock manager
            auto* sizer = new wxBoxSizer(wxVERTICAL);
            sizer->Add(plugin.panel, 0, wxEXPAND);
            pane->SetSizer(sizer);
            pane->SetScrollRate(0, 10);
            pane->FitInside();
            m_panes[plugin.panel] = pane;
            const wxSize best = plugin.panel->GetBestSize();
            m_aui.AddPane(pane, wxAuiPaneInfo()
                                    .Name(plugin.name)
                                    .Caption(plugin.name)
                                    .Right()
                                    .Layer(0)
                                    .Row(0)
                                    .Position(position++)
                                    .BestSize(wxSize(width, best.y))
                                    .MinSize(wxSize(width, std::min(best.y, 120)))
                                    .FloatingSize(wxSize(width, best.y + 40))
                                    .CloseButton(true));
        }
        if (plugin.menu)
        {
            GetMenuBar()->Append(plugin.menu, wxString::FromUTF8(plugin.name));
            plugin.menu->Check(plugin.idBase + plug::ID_MENU_SHOW_PANEL, plugin.panel != nullptr);
            // None of the plug-ins has a toolbar.
            plugin.menu->Enable(plugin.idBase + plug::ID_MENU_SHOW_TOOLBAR, false);
        }
    }
    m_aui.Update();
}

void CMainFrame::removePlugins()
{
    if (!m_pluginsInstalled)
        return;
    m_pluginsInstalled = false;
    for (CHostedPlugin& plugin : m_host.getPlugins().getPlugins())
    {
        if (plugin.panel)
        {
            wxWindow* pane = getPaneWindow(plugin);
            m_aui.DetachPane(pane ? pane : plugin.panel);
            delete plugin.panel;
            delete pane;
        }
        if (plugin.menu)
        {
            wxMenuBar* bar = GetMenuBar();
            for (size_t i = 0; bar && i < bar->GetMenuCount(); ++i)
            {
                if (bar->GetMenu(i) == plugin.menu)
                {
                    bar->Remove(i);
                    break;
                }
            }
            delete plugin.menu;
        }
    }
    m_panes.clear();
    m_host.getPlugins().forgetWindows();
    m_aui.Update();
}

bool CMainFrame::isPluginPanelShown(const CHostedPlugin& plugin)
{
    wxWindow* pane = getPaneWindow(plugin);
    return pane && m_aui.GetPane(pane).IsShown();
}

wxWindow* CMainFrame::getPaneWindow(const CHostedPlugin& plugin) const
{
    const auto found = m_panes.find(plugin.panel);
    return found == m_panes.end() ? nullptr : found->second;
}

bool CMainFrame::scrollIntoView(wxWindow* control)
{
    wxScrolledWindow* pane = nullptr;
    for (wxWindow* window = control; window && !pane; window = window->GetParent())
    {
        for (const auto& [panel, candidate] : m_panes)
        {
            if (candidate == window)
                pane = candidate;
        }
    }
    if (!pane || control == pane)
        return false;
    // The control's place in the pane's whole (unscrolled) area, in scroll units.
    const wxPoint shown = pane->ScreenToClient(control->GetScreenPosition());
    const wxPoint whole = pane->CalcUnscrolledPosition(shown);
    int unitX = 0, unitY = 0;
    pane->GetScrollPixelsPerUnit(&unitX, &unitY);
    if (unitY > 0)
    {
        const int visible = pane->GetClientSize().y;
        const int height = control->GetSize().y;
        const int start = pane->CalcUnscrolledPosition(wxPoint(0, 0)).y;
        if (whole.y < start)
            pane->Scroll(-1, whole.y / unitY); // its top at the pane's top, or just below
        else if (whole.y + height > start + visible)
            pane->Scroll(-1, (whole.y + height - visible + unitY - 1) / unitY); // its bottom in view
    }
    return true;
}

void CMainFrame::showPluginPanel(CHostedPlugin& plugin, bool show)
{
    wxWindow* pane = getPaneWindow(plugin);
    if (!pane)
        return;
    m_aui.GetPane(pane).Show(show);
    plugin.panel->Show(show); // a plug-in may ask whether its panel is shown
    m_aui.Update();
    if (plugin.menu)
        plugin.menu->Check(plugin.idBase + plug::ID_MENU_SHOW_PANEL, show);
}

void CMainFrame::onMenu(wxCommandEvent& event)
{
    const int id = event.GetId();
    if (CHostedPlugin* plugin = m_host.getPlugins().findById(id))
    {
        const int offset = id - plugin->idBase;
        if (offset == plug::ID_MENU_SHOW_PANEL)
            showPluginPanel(*plugin, !isPluginPanelShown(*plugin));
        else if (offset == plug::ID_MENU_SHOW_TOOLBAR)
            ; // no toolbars
        else if (plugin->pluginInterface)
            plugin->pluginInterface->ProcessEvent(event); // bindings live on the interface
        return;
    }
    if (id == wxID_EXIT)
    {
        Close();
        return;
    }
    if (id == ID_SAVE_SCREENSHOT)
    {
        const wxString path = wxFileSelector("Save Screenshot", "", "velmora.png", "png", "PNG files (*.png)|*.png",
                                             wxFD_SAVE | wxFD_OVERWRITE_PROMPT, this);
        if (!path.empty() && !saveScreenshot(path))
            report("Cannot save the screenshot to " + path, "Error", wxOK | wxICON_ERROR);
        return;
    }
    if (id == ID_EXPORT_LABELS || id == ID_IMPORT_LABELS || id == ID_EXPORT_MODEL)
    {
        exchangeFiles(id);
        return;
    }
    if (id == wxID_UNDO || id == wxID_REDO)
    {
        const bool done = id == wxID_UNDO ? m_data.undo() : m_data.redo();
        if (!done)
            SetStatusText(id == wxID_UNDO ? "Nothing to undo" : "Nothing to redo");
        return;
    }
    if (id == ID_LOAD_PHANTOM)
    {
        loadWithMessage({"phantom"});
        return;
    }
    if (id == ID_OPEN_DICOM)
    {
        const wxString folder = wxDirSelector("Open DICOM Series", "", wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST, wxDefaultPosition, this);
        if (!folder.empty())
            loadWithMessage({"dicom", folder.utf8_string()});
        return;
    }
    if (id == ID_OPEN_NIFTI)
    {
        const wxString file = wxFileSelector("Open NIfTI File", "", "", "", "NIfTI files (*.nii;*.nii.gz)|*.nii;*.nii.gz|All files|*",
                                             wxFD_OPEN | wxFD_FILE_MUST_EXIST, this);
        if (!file.empty())
            loadWithMessage({"nifti", file.utf8_string()});
        return;
    }
    if (id == ID_OPEN_RAW)
    {
        const wxString file = wxFileSelector("Open Raw Volume", "", "", "", "Raw volumes (*.raw)|*.raw|All files|*",
                                             wxFD_OPEN | wxFD_FILE_MUST_EXIST, this);
        if (file.empty())
            return;
        const wxString size = wxGetTextFromUser("Dimensions and spacing: X Y Z [DX DY DZ]", "Open Raw Volume", "512 512 100 1 1 1", this);
        if (size.empty())
            return;
        std::vector<std::string> words{"raw", file.utf8_string()};
        for (const wxString& part : wxSplit(size, ' '))
        {
            if (!part.empty())
                words.push_back(part.utf8_string());
        }
        loadWithMessage(words);
        return;
    }
    event.Skip();
}

void CMainFrame::report(const wxString& text, const wxString& caption, long style)
{
    if (plug::CDialogService* service = m_host.getSceneHub().getDialogService())
        service->showMessage(text, caption, style);
    else
        wxMessageBox(text, caption, style, this);
}

wxString CMainFrame::selectFile(const wxString& message, const wxString& defaultFile, const wxString& wildcard, int flags)
{
    if (plug::CDialogService* service = m_host.getSceneHub().getDialogService())
        return service->selectFile(message, "", defaultFile, "", wildcard, flags);
    return wxFileSelector(message, "", defaultFile, "", wildcard, flags, this);
}

void CMainFrame::exchangeFiles(int id)
{
    if (!m_data.hasData())
    {
        report("No data set is loaded", "Error", wxOK | wxICON_ERROR);
        return;
    }
    const wxString labelMaps = "NIfTI label maps (*.nii.gz;*.nii)|*.nii.gz;*.nii";
    wxString path;
    if (id == ID_EXPORT_LABELS)
        path = selectFile("Export Segmentation", "segmentation.nii.gz", labelMaps, wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    else if (id == ID_IMPORT_LABELS)
        path = selectFile("Import Segmentation", "", labelMaps + "|All files|*", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    else
        path = selectFile("Export Model in Patient Coordinates", "model.stl", "STL files (*.stl)|*.stl",
                          wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (path.empty())
        return;
    try
    {
        wxBusyCursor busy;
        CDataExchange exchange(m_host.getStorage(), m_data);
        if (id == ID_EXPORT_LABELS)
            exchange.exportLabels(path.utf8_string());
        else if (id == ID_EXPORT_MODEL)
            exchange.exportModel(path.utf8_string());
        else
        {
            for (const std::string& warning : exchange.importLabels(path.utf8_string()))
                report(wxString::FromUTF8(warning), "Warning", wxOK | wxICON_WARNING);
        }
    }
    catch (const std::exception& error)
    {
        report(wxString::FromUTF8(error.what()), "Error", wxOK | wxICON_ERROR);
    }
}

void CMainFrame::loadWithMessage(const std::vector<std::string>& words)
{
    try
    {
        wxBusyCursor busy;
        import::CLoadedVolume volume = loadSource(words);
        m_data.takeDataSet(volume);
        for (const std::string& warning : volume.warnings)
            report(wxString::FromUTF8(warning), "Warning", wxOK | wxICON_WARNING);
    }
    catch (const std::exception& error)
    {
        report(wxString::FromUTF8(error.what()), "Error", wxOK | wxICON_ERROR);
    }
}

bool CMainFrame::loadData(const std::string& source)
{
    try
    {
        import::CLoadedVolume volume = loadSource(source);
        m_data.takeDataSet(volume);
        for (const std::string& warning : volume.warnings)
            report(wxString::FromUTF8(warning), "Warning", wxOK | wxICON_WARNING);
        return true;
    }
    catch (const std::exception& error)
    {
        report(wxString::FromUTF8(error.what()), "Error", wxOK | wxICON_ERROR);
        return false;
    }
}

wxWindow* CMainFrame::getViewArea()
{
    return m_views;
}

bool CMainFrame::showSlice(int axis, int index)
{
    return m_views->setPosition(axis, index);
}

void CMainFrame::onPaneClose(wxAuiManagerEvent& event)
{
    for (CHostedPlugin& plugin : m_host.getPlugins().getPlugins())
    {
        if (event.GetPane() && event.GetPane()->window == getPaneWindow(plugin))
        {
            plugin.panel->Show(false);
            if (plugin.menu)
                plugin.menu->Check(plugin.idBase + plug::ID_MENU_SHOW_PANEL, false);
        }
    }
}

void CMainFrame::onClose(wxCloseEvent& event)
{
    removePlugins();
    event.Skip();
}

bool CMainFrame::saveScreenshot(const wxString& path)
{
    // A missing folder, or a folder as target, fails here rather than in the image writer.
    const wxString folder = wxFileName(path).GetPath();
    if (wxFileName::DirExists(path) || !wxFileName::DirExists(folder.empty() ? wxString(".") : folder))
        return false;
    // Windows shown or laid out since the last events (a panel in its pane after start)
    // paint on the toolkit's next frame: let the pending paint and layout events (not the
    // user's input) through.
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
    {
        for (int i = 0; i < 3; ++i)
            loop->YieldFor(wxEVT_CATEGORY_UI);
    }
    m_views->renderNow();
    Update();
    wxClientDC client(this);
    const wxSize size = GetClientSize();
    if (size.x <= 0 || size.y <= 0)
        return false;
    wxBitmap bitmap(size.x, size.y, 24);
    wxMemoryDC memory(bitmap);
    // The screen DC sees what the GL views drew as well.
    wxScreenDC screen;
    forgetScreenSnapshot(screen);
    const wxPoint origin = ClientToScreen(wxPoint(0, 0));
    memory.Blit(0, 0, size.x, size.y, &screen, origin.x, origin.y);
    memory.SelectObject(wxNullBitmap);
    return bitmap.ConvertToImage().SaveFile(path, wxBITMAP_TYPE_PNG);
}

} // namespace velmora
