#include "host/CMainFrame.h"

#include <algorithm>

#include "host/CHostData.h"
#include "host/CVelmoraHost.h"
#include "host/DataSources.h"
#include "host/views/CSceneViews.h"
#include "plug/Dialogs.h"

#include <dlfcn.h>

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

} // namespace

CMainFrame::CMainFrame(CVelmoraHost& host, CHostData& data)
    : wxFrame(nullptr, wxID_ANY, "Velmora", wxDefaultPosition, wxSize(1600, 1000)), m_host(host), m_data(data)
{
    m_aui.SetManagedWindow(this);
    m_views = new views::CSceneViews(this, host.getStorage(), host.getSceneHub());
    m_aui.AddPane(m_views, wxAuiPaneInfo().Name("views").CenterPane());
    buildMenus();
    CreateStatusBar();
    m_aui.Update();
    Bind(wxEVT_MENU, &CMainFrame::onMenu, this);
    Bind(wxEVT_AUI_PANE_CLOSE, &CMainFrame::onPaneClose, this);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::onClose, this);
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
    // Panels stack in columns at the right; a column takes panels while their heights fit
    // the window, so that every panel gets the room it asks for.
    const int available = std::max(400, GetClientSize().y - 40);
    int column = 0;
    int position = 0;
    int usedHeight = 0;
    for (CHostedPlugin& plugin : m_host.getPlugins().getPlugins())
    {
        if (plugin.panel)
        {
            const wxSize best = plugin.panel->GetBestSize();
            const int height = best.y + 30; // the caption
            if (position > 0 && usedHeight + height > available)
            {
                ++column;
                position = 0;
                usedHeight = 0;
            }
            usedHeight += height;
            m_aui.AddPane(plugin.panel, wxAuiPaneInfo()
                                            .Name(plugin.name)
                                            .Caption(plugin.name)
                                            .Right()
                                            .Row(column)
                                            .Position(position++)
                                            .BestSize(best)
                                            .MinSize(wxSize(260, std::min(best.y, 200)))
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
            m_aui.DetachPane(plugin.panel);
            delete plugin.panel;
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
    m_host.getPlugins().forgetWindows();
    m_aui.Update();
}

bool CMainFrame::isPluginPanelShown(const CHostedPlugin& plugin)
{
    return plugin.panel && m_aui.GetPane(plugin.panel).IsShown();
}

void CMainFrame::showPluginPanel(CHostedPlugin& plugin, bool show)
{
    if (!plugin.panel)
        return;
    m_aui.GetPane(plugin.panel).Show(show);
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
        if (event.GetPane() && event.GetPane()->window == plugin.panel && plugin.menu)
            plugin.menu->Check(plugin.idBase + plug::ID_MENU_SHOW_PANEL, false);
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
