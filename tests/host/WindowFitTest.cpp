// The main window on the screen it opens on, with the three real plug-ins: it lies inside
// the work area, the views keep most of the width, and every control of every panel can be
// scrolled into view inside the screen. The suite runs it on virtual screens of 1280 x 720
// and 1366 x 768 (see CMakeLists.txt); it checks against whatever screen it finds.

#include "host/CHostData.h"
#include "host/CMainFrame.h"
#include "host/CScriptDialogService.h"
#include "host/CVelmoraHost.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/control.h>
#include <wx/display.h>
#include <wx/statbox.h>
#include <wx/utils.h>

#include <sstream>
#include <vector>

using namespace velmora;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
    {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
}

// Every control inside `window`, depth first.
void collectControls(wxWindow* window, std::vector<wxControl*>& controls)
{
    for (wxWindow* child : window->GetChildren())
    {
        if (auto* control = dynamic_cast<wxControl*>(child))
            controls.push_back(control);
        collectControls(child, controls);
    }
}

std::string describe(const wxRect& rect)
{
    std::ostringstream text;
    text << rect.x << "," << rect.y << " " << rect.width << "x" << rect.height;
    return text.str();
}

} // namespace

TEST(WindowFitTest, WindowInsideTheScreenAndEveryPanelControlReachable)
{
    CVelmoraHost host;
    CHostData::registerObjects(host.getFactory());
    CHostData data(host.getStorage());
    data.createEntries();
    std::ostringstream messages;
    kvo::base::CRefPtr<CScriptDialogService> dialogs = new CScriptDialogService(messages);
    host.getSceneHub().setDialogService(dialogs.get());
    ASSERT_TRUE(host.getPlugins().loadFolder(VELMORA_PLUGIN_DIR).empty());
    auto* frame = new CMainFrame(host, data);
    wxTheApp->SetTopWindow(frame);
    frame->Show();
    std::vector<std::string> errors;
    frame->installPlugins(errors);
    EXPECT_TRUE(errors.empty());
    settle();

    const int index = wxDisplay::GetFromWindow(frame);
    const wxDisplay display(index == wxNOT_FOUND ? 0u : unsigned(index));
    const wxRect screen = display.GetGeometry();
    const wxRect area = display.GetClientArea();
    SCOPED_TRACE("screen " + describe(screen));
    const wxRect window = frame->GetScreenRect();
    EXPECT_TRUE(area.Contains(window)) << "window " << describe(window) << " work area " << describe(area);
    EXPECT_GE(window.width, area.width * 8 / 10);
    // The views take most of the width: at least 60 % from 1366 pixels up.
    const int viewsWidth = frame->getViewArea()->GetSize().x;
    if (screen.width >= 1366)
    {
        EXPECT_GE(viewsWidth * 100, 60 * frame->GetClientSize().x) << viewsWidth;
    }

    for (CHostedPlugin& plugin : host.getPlugins().getPlugins())
    {
        SCOPED_TRACE(plugin.name);
        ASSERT_NE(plugin.panel, nullptr);
        frame->showPluginPanel(plugin, true);
        settle();
        wxWindow* pane = frame->getPaneWindow(plugin);
        ASSERT_NE(pane, nullptr);
        EXPECT_TRUE(screen.Contains(pane->GetScreenRect())) << describe(pane->GetScreenRect());
        std::vector<wxControl*> controls;
        collectControls(plugin.panel, controls);
        EXPECT_GT(controls.size(), 5u);
        for (wxControl* control : controls)
        {
            // Group boxes are frames round controls, not controls to reach (a group may be
            // taller than a pane on a small screen).
            if (!control->IsShown() || dynamic_cast<wxStaticBox*>(control))
                continue;
            ASSERT_TRUE(frame->scrollIntoView(control));
            settle();
            const wxRect rect = control->GetScreenRect();
            const std::string name = control->GetLabel().utf8_string() + " (" + wxString(control->GetClassInfo()->GetClassName()).utf8_string() + ")";
            EXPECT_TRUE(screen.Contains(rect)) << name << " at " << describe(rect);
            EXPECT_TRUE(pane->GetScreenRect().Contains(rect)) << name << " at " << describe(rect) << " outside its pane "
                                                              << describe(pane->GetScreenRect());
        }
    }
    // Hidden and shown again from the menu's point of view, a panel comes back in its pane.
    CHostedPlugin& tolvane = *host.getPlugins().findByName("Tolvane");
    frame->showPluginPanel(tolvane, false);
    EXPECT_FALSE(frame->isPluginPanelShown(tolvane));
    frame->showPluginPanel(tolvane, true);
    EXPECT_TRUE(frame->isPluginPanelShown(tolvane));
    EXPECT_TRUE(tolvane.panel->IsShownOnScreen());

    frame->removePlugins();
    delete frame;
    host.shutdown();
}
