#include "host/CPluginHost.h"
#include "plug/CPlugin.h"
#include "plug/CPluginInterface.h"
#include "plug/CPluginMenu.h"
#include "plug/CPluginPanel.h"
#include "plug/CPluginToolbar.h"
#include "plug/CProgress.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>

#include <string>
#include <vector>

namespace {

kvo::base::CRefPtr<plug::CGuiAdapter> adapterAt(int idBase)
{
    kvo::base::CRefPtr<plug::CGuiAdapter> adapter(new plug::CGuiAdapter);
    adapter->idBase = idBase;
    return adapter;
}

// Counts the clicks on button idBase + 26 once connected; `refuseIn` names the hook that
// refuses ("prepare" or "connect"), and a refusing connect refuses before binding.
class CRefusingPanel : public plug::CPluginPanel
{
public:
    CRefusingPanel(plug::CGuiAdapter* adapter, std::string refuseIn)
        : CPluginPanel(adapter), m_refuseIn(std::move(refuseIn))
    {
    }
    bool prepare() override { return m_refuseIn != "prepare" && CPluginPanel::prepare(); }
    bool connect() override
    {
        if (m_refuseIn == "connect" || !CPluginPanel::connect())
            return false;
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ++clicks; }, getAdapter().getId(26));
        return true;
    }
    int clicks = 0;

private:
    std::string m_refuseIn;
};

class CPanelInterfaceBase : public plug::CPluginInterface
{
public:
    using CPluginInterface::CPluginInterface;
    plug::CPluginMenu* createMenu(plug::CGuiAdapter*) override { return nullptr; }
    bool connect(void* host) override
    {
        connected = CPluginInterface::connect(host);
        return connected;
    }
    bool connected = false;
};

template <const char* REFUSE_IN>
class CPanelInterface : public CPanelInterfaceBase
{
public:
    using CPanelInterfaceBase::CPanelInterfaceBase;
    plug::CPluginPanel* createPanel(plug::CGuiAdapter* adapter) override
    {
        return new CRefusingPanel(adapter, REFUSE_IN);
    }
};

template <const char* REFUSE_IN>
class CPanelPlugin : public plug::CPluginPrototype<CPanelPlugin<REFUSE_IN>, CPanelInterface<REFUSE_IN>,
                                                   plug::CCreateInGlobalMem>
{
public:
    explicit CPanelPlugin(std::uint32_t flags)
        : plug::CPluginPrototype<CPanelPlugin<REFUSE_IN>, CPanelInterface<REFUSE_IN>, plug::CCreateInGlobalMem>(flags)
    {
    }
};

constexpr char REFUSE_NOTHING[] = "";
constexpr char REFUSE_PREPARE[] = "prepare";
constexpr char REFUSE_CONNECT[] = "connect";

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

TEST(PanelMenuTest, HostReportsARefusingPanelAndConnectsNothingAfterTheRefusal)
{
    auto* frame = wxTheApp->GetTopWindow();
    velmora::CPluginHost host(nullptr, nullptr);
    auto& registry = host.getRegistry();
    ASSERT_TRUE(registry.registerPrototype("A", &CPanelPlugin<REFUSE_NOTHING>::createPlugin,
                                           &CPanelPlugin<REFUSE_NOTHING>::destroyPlugin));
    ASSERT_TRUE(registry.registerPrototype("B", &CPanelPlugin<REFUSE_PREPARE>::createPlugin,
                                           &CPanelPlugin<REFUSE_PREPARE>::destroyPlugin));
    ASSERT_TRUE(registry.registerPrototype("C", &CPanelPlugin<REFUSE_CONNECT>::createPlugin,
                                           &CPanelPlugin<REFUSE_CONNECT>::destroyPlugin));
    std::vector<std::string> errors;
    host.createAll(frame, errors);
    EXPECT_EQ(errors, (std::vector<std::string>{"the panel of B refused to connect",
                                                "the panel of C refused to connect"}));

    // Blocks 10000, 10100 and 10200; the clicks reach a panel only when its connect bound them.
    const int expectedClicks[] = {1, 0, 0};
    for (int index = 0; index < 3; ++index)
    {
        const velmora::CHostedPlugin& hosted = host.getPlugins()[index];
        SCOPED_TRACE(hosted.name);
        auto* panel = dynamic_cast<CRefusingPanel*>(hosted.panel);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->GetParent(), frame);
        auto* button = new wxButton(panel, hosted.idBase + 26, "Press");
        wxCommandEvent click(wxEVT_BUTTON, hosted.idBase + 26);
        click.SetEventObject(button);
        button->ProcessWindowEvent(click);
        EXPECT_EQ(panel->clicks, expectedClicks[index]);
        // A refusing panel does not stop the interface from being wired.
        auto* pluginInterface = dynamic_cast<CPanelInterfaceBase*>(hosted.pluginInterface);
        ASSERT_NE(pluginInterface, nullptr);
        EXPECT_TRUE(pluginInterface->connected);
    }
    for (velmora::CHostedPlugin& hosted : host.getPlugins())
        delete hosted.panel;
    host.forgetWindows();
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
