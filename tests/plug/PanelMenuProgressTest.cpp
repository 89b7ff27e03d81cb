#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"
#include "plug/CPluginToolbar.h"
#include "plug/CProgress.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>

namespace {

kvo::base::CRefPtr<plug::CGuiAdapter> adapterAt(int idBase)
{
    kvo::base::CRefPtr<plug::CGuiAdapter> adapter(new plug::CGuiAdapter);
    adapter->idBase = idBase;
    return adapter;
}

class CRefusingPanel : public plug::CPluginPanel
{
public:
    using CPluginPanel::CPluginPanel;
    bool baseAnswer = true;
    int clicks = 0;
    bool connect() override
    {
        if (!baseAnswer || !CPluginPanel::connect())
            return false;
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ++clicks; }, getAdapter().getId(26));
        return true;
    }
};

} // namespace

TEST(PanelMenuTest, IdentifiersStylesAndStandardItems)
{
    auto adapter = adapterAt(1000);
    auto* panel = new plug::CPluginPanel(adapter.get());
    EXPECT_EQ(panel->GetId(), 1001);
    EXPECT_EQ(panel->GetParent(), wxTheApp->GetTopWindow());
    EXPECT_TRUE(panel->HasFlag(wxTAB_TRAVERSAL));
    EXPECT_TRUE(panel->HasFlag(wxBORDER_NONE));
    EXPECT_TRUE(panel->prepare());
    EXPECT_TRUE(panel->connect());
    EXPECT_EQ(adapter->getReferencesCount(), 2);
    panel->Destroy(); // a child window goes at once
    EXPECT_EQ(wxTheApp->GetTopWindow()->FindWindow(1001), nullptr);

    auto* toolbar = new plug::CPluginToolbar(adapter.get());
    EXPECT_EQ(toolbar->GetId(), 1002);
    EXPECT_TRUE(toolbar->HasFlag(wxAUI_TB_GRIPPER));
    delete toolbar;

    auto* menu = new plug::CPluginMenu(adapter.get());
    EXPECT_TRUE(menu->createItems());
    EXPECT_TRUE(menu->prepare());
    ASSERT_EQ(menu->GetMenuItemCount(), 2u);
    wxMenuItem* show = menu->FindItemByPosition(0);
    wxMenuItem* toolbarItem = menu->FindItemByPosition(1);
    EXPECT_EQ(show->GetId(), 1004);
    EXPECT_EQ(show->GetItemLabelText(), "Show/Hide Plugin Panel");
    EXPECT_TRUE(show->IsCheckable());
    EXPECT_EQ(toolbarItem->GetId(), 1005);
    EXPECT_EQ(toolbarItem->GetItemLabelText(), "Show/Hide Plugin Toolbar");
    EXPECT_TRUE(toolbarItem->IsCheckable());
    EXPECT_TRUE(show->GetHelp().empty());
    delete menu;
    EXPECT_EQ(adapter->getReferencesCount(), 1); // every window gave its reference back
}

TEST(PanelMenuTest, DerivedPanelWhoseBaseRefusesBindsNothing)
{
    auto adapter = adapterAt(2000);
    auto* panel = new CRefusingPanel(adapter.get());
    auto* button = new wxButton(panel, 2026, "Press");
    panel->baseAnswer = false;
    EXPECT_FALSE(panel->connect());
    wxCommandEvent click(wxEVT_BUTTON, 2026);
    click.SetEventObject(button);
    button->ProcessWindowEvent(click);
    EXPECT_EQ(panel->clicks, 0);
    panel->baseAnswer = true;
    EXPECT_TRUE(panel->connect());
    button->ProcessWindowEvent(click);
    EXPECT_EQ(panel->clicks, 1);
    delete panel;
}

TEST(ProgressWindowTest, PercentagesPulsesAndOneDisabler)
{
    auto* frame = wxTheApp->GetTopWindow();
    CProgress progress("Applying thresholding filter, please wait...", 100);
    EXPECT_EQ(progress.GetRange(), 101);
    EXPECT_EQ(progress.getMaximum(), 100);
    EXPECT_EQ(progress.GetTitle(), "Progress");

    progress.Show(true);
    EXPECT_TRUE(progress.hasDisabler());
    EXPECT_FALSE(frame->IsEnabled());
    progress.Show(true); // a second Show makes no second disabler
    progress.Show(false);
    EXPECT_FALSE(progress.hasDisabler());
    EXPECT_TRUE(frame->IsEnabled()); // one disabler only: hiding re-enables everything
    progress.Show(true);

    EXPECT_TRUE(progress.updateProgress(50, 200));
    EXPECT_EQ(progress.getLastValue(), 25);
    EXPECT_EQ(progress.GetValue(), 25);
    EXPECT_TRUE(progress.updateProgress(199, 200));
    EXPECT_EQ(progress.getLastValue(), 99);
    EXPECT_TRUE(progress.updateProgress(200, 200));
    EXPECT_EQ(progress.getLastValue(), -1); // pulsed
    EXPECT_TRUE(progress.updateProgress(3, 0)); // total 0: pulses, never divides
    EXPECT_EQ(progress.getLastValue(), -1);
    EXPECT_TRUE(progress.updateProgress(2000000000, 2100000000)); // no overflow
    EXPECT_EQ(progress.getLastValue(), 95);
}

TEST(ProgressWindowTest, PressingCancelMakesTheNextReportAnswerFalse)
{
    CProgress progress("Working, please wait...", 100);
    progress.Show(true);
    EXPECT_TRUE(progress.updateProgress(1, 10));
    auto* cancel = dynamic_cast<wxButton*>(progress.FindWindow(wxID_CANCEL));
    ASSERT_NE(cancel, nullptr);
    wxCommandEvent click(wxEVT_BUTTON, wxID_CANCEL);
    click.SetEventObject(cancel);
    cancel->ProcessWindowEvent(click);
    EXPECT_FALSE(progress.updateProgress(2, 10));
    progress.Show(false);
}
