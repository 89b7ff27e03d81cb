// The host's main window with the three real plug-ins loaded, under Xvfb.

#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptDialogService.h"
#include "host/CVelmoraHost.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/aui/dockart.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/menu.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace velmora;

namespace {

class HostWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host = std::make_unique<CVelmoraHost>();
        CHostData::registerObjects(host->getFactory());
        data = std::make_unique<CHostData>(host->getStorage());
        data->createEntries();
        dialogs = new CScriptDialogService(messages);
        host->getSceneHub().setDialogService(dialogs.get());
        ASSERT_TRUE(host->getPlugins().loadFolder(VELMORA_PLUGIN_DIR).empty());
        previousTop = wxTheApp->GetTopWindow();
        frame = new CMainFrame(*host, *data);
        wxTheApp->SetTopWindow(frame);
        frame->Show();
        std::vector<std::string> errors;
        frame->installPlugins(errors);
        EXPECT_TRUE(errors.empty());
    }
    void TearDown() override
    {
        frame->removePlugins();
        delete frame;
        wxTheApp->SetTopWindow(previousTop);
        data.reset();
        host->shutdown();
        host.reset();
    }
    CHostedPlugin& plugin(const std::string& name)
    {
        CHostedPlugin* found = host->getPlugins().findByName(name);
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }

    std::ostringstream messages;
    std::unique_ptr<CVelmoraHost> host;
    std::unique_ptr<CHostData> data;
    kvo::base::CRefPtr<CScriptDialogService> dialogs;
    CMainFrame* frame = nullptr;
    wxWindow* previousTop = nullptr;
};

} // namespace

TEST_F(HostWindowTest, ThreePanelsDockedAndThreeMenusPresent)
{
    ASSERT_EQ(host->getPlugins().getPlugins().size(), 3u);
    wxMenuBar* bar = frame->GetMenuBar();
    std::set<int> bases;
    for (const char* name : {"Ostrum", "Parvex", "Tolvane"})
    {
        CHostedPlugin& hosted = plugin(name);
        ASSERT_NE(hosted.panel, nullptr);
        ASSERT_NE(hosted.menu, nullptr);
        wxAuiPaneInfo& pane = frame->getAuiManager().GetPane(frame->getPaneWindow(hosted));
        EXPECT_TRUE(pane.IsOk()) << name;
        EXPECT_TRUE(pane.IsShown()) << name;
        EXPECT_EQ(pane.caption, name);
        // Each panel in a pane of its own, docked in the frame's one column at the right.
        EXPECT_EQ(hosted.panel->GetParent(), frame->getPaneWindow(hosted));
        EXPECT_EQ(frame->getPaneWindow(hosted)->GetParent(), frame);
        EXPECT_EQ(pane.dock_direction, wxAUI_DOCK_RIGHT);
        EXPECT_EQ(pane.dock_layer, 0);
        EXPECT_EQ(pane.dock_row, 0);
        EXPECT_EQ(hosted.panel->GetId(), hosted.idBase + 1);
        EXPECT_NE(bar->FindMenu(name), wxNOT_FOUND) << name;
        EXPECT_TRUE(hosted.menu->IsChecked(hosted.idBase + plug::ID_MENU_SHOW_PANEL));
        EXPECT_FALSE(hosted.menu->IsEnabled(hosted.idBase + plug::ID_MENU_SHOW_TOOLBAR));
        // The bindings reach this host.
        EXPECT_EQ(hosted.plugin->getBindings()->getStoragePointer(), &host->getStorage());
        EXPECT_EQ(hosted.plugin->getBindings()->getSceneHubPointer(), &host->getSceneHub());
        EXPECT_EQ(hosted.pluginInterface, hosted.plugin->getInterface());
        bases.insert(hosted.idBase);
    }
    // Identifier blocks do not overlap and stay outside wxWidgets' reserved range.
    ASSERT_EQ(bases.size(), 3u);
    int previous = -1000;
    for (int base : bases)
    {
        EXPECT_GE(base - previous, plug::ID_BLOCK_SIZE);
        EXPECT_GT(base, wxID_HIGHEST);
        previous = base;
    }
}

TEST_F(HostWindowTest, StandardCheckItemHidesAndShowsThePanelInStep)
{
    CHostedPlugin& hosted = plugin("Tolvane");
    const int id = hosted.idBase + plug::ID_MENU_SHOW_PANEL;
    for (bool expectShown : {false, true, false})
    {
        // What a click on the check item does: toggle the mark, then send the command.
        hosted.menu->Check(id, !hosted.menu->IsChecked(id));
        hosted.menu->SendEvent(id, hosted.menu->IsChecked(id) ? 1 : 0);
        EXPECT_EQ(frame->isPluginPanelShown(hosted), expectShown);
        EXPECT_EQ(hosted.menu->IsChecked(id), expectShown);
        EXPECT_EQ(hosted.panel->IsShown(), expectShown);
    }
    // The other panels are not affected.
    EXPECT_TRUE(frame->isPluginPanelShown(plugin("Parvex")));
}

TEST_F(HostWindowTest, MenuCommandsOfAPluginReachItsInterface)
{
    CHostedPlugin& parvex = plugin("Parvex");
    wxCommandEvent bound(wxEVT_MENU, parvex.idBase + 17);
    EXPECT_TRUE(parvex.pluginInterface->ProcessEvent(bound)); // handled, not skipped
    wxCommandEvent unbound(wxEVT_MENU, parvex.idBase + 30);
    EXPECT_FALSE(parvex.pluginInterface->ProcessEvent(unbound));
}

TEST_F(HostWindowTest, BadFilesKeepThePreviousDataSet)
{
    namespace fs = std::filesystem;
    ASSERT_TRUE(frame->loadData("phantom:16x12x8"));
    EXPECT_EQ(data->getDimensions(), (std::array<int, 3>{16, 12, 8}));
    const auto range = data->getDensityRange();

    const fs::path folder = fs::path(VELMORA_TEST_BINARY_DIR) / "bad-data";
    fs::remove_all(folder);
    fs::create_directories(folder / "not-dicom");
    std::ofstream(folder / "not-dicom" / "notes.txt") << "no images here";
    std::ofstream(folder / "short.raw", std::ios::binary) << std::string(4 * 4 * 4 * 2 - 3, '\0');
    std::ofstream(folder / "bad.nii", std::ios::binary) << std::string(100, 'x');

    for (const std::string& source : {"raw:" + (folder / "short.raw").string() + ":4x4x4",
                                     "dicom:" + (folder / "not-dicom").string(), "nifti:" + (folder / "bad.nii").string(),
                                     "nifti:" + (folder / "missing.nii").string(), std::string("phantom:0x4x4")})
    {
        messages.str("");
        EXPECT_FALSE(frame->loadData(source)) << source;
        EXPECT_EQ(messages.str().rfind("message: ", 0), 0u) << source; // the user is told
        EXPECT_EQ(data->getDimensions(), (std::array<int, 3>{16, 12, 8})) << source;
        EXPECT_EQ(data->getDensityRange(), range) << source;
    }
    fs::remove_all(folder);
}

TEST_F(HostWindowTest, RepaintsKeepTheDockingLayoutDrawn)
{
    // The docking layout (pane captions) is drawn only where a paint of the frame reaches it:
    // after the views alone repaint, and after the whole frame does, every caption looks as
    // it did.
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    frame->SetSize(1280, 720);
    ASSERT_TRUE(frame->loadData("phantom:64x48x32"));
    for (int i = 0; i < 10; ++i) // mapped, laid out and drawn
    {
        wxYield();
        frame->Update();
        wxMilliSleep(10);
    }
    const std::string path = (std::filesystem::path(VELMORA_TEST_BINARY_DIR) / "dock-repaint.png").string();
    auto shot = [&] {
        EXPECT_TRUE(frame->saveScreenshot(path));
        return wxImage(path);
    };
    const int captionHeight = frame->getAuiManager().GetArtProvider()->GetMetric(wxAUI_DOCKART_CAPTION_SIZE);
    ASSERT_GT(captionHeight, 4);
    // The caption strips just above the three panes, as RGB rows.
    auto captions = [&](const wxImage& image) {
        std::vector<std::string> strips;
        for (const char* name : {"Ostrum", "Parvex", "Tolvane"})
        {
            const wxRect pane = frame->getPaneWindow(plugin(name))->GetRect();
            EXPECT_GE(pane.y - captionHeight, 0) << name;
            std::string strip;
            for (int y = std::max(0, pane.y - captionHeight); y < pane.y; ++y)
                strip.append(reinterpret_cast<const char*>(image.GetData()) + 3 * (std::size_t(y) * image.GetWidth() + pane.x),
                             3 * std::size_t(pane.width));
            strips.push_back(strip);
        }
        return strips;
    };
    const wxImage before = shot();
    ASSERT_TRUE(before.IsOk());
    const auto drawn = captions(before);
    for (const std::string& strip : drawn) // a caption, not an empty strip
        EXPECT_GT(std::set<char>(strip.begin(), strip.end()).size(), 4u);

    ASSERT_TRUE(frame->showSlice(2, 3));
    const wxImage slice = shot();
    ASSERT_EQ(slice.GetSize(), before.GetSize());
    EXPECT_TRUE(captions(slice) == drawn);
    EXPECT_NE(std::memcmp(slice.GetData(), before.GetData(), 3 * std::size_t(slice.GetWidth()) * slice.GetHeight()), 0)
        << "the views did not change";
    frame->Refresh();
    frame->Update();
    EXPECT_TRUE(captions(shot()) == drawn);
    std::filesystem::remove(path);
}
