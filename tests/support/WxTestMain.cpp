// main() for test programs that need a running wxWidgets application (under Xvfb in CI).

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <cstdio>

namespace {
class CTestApp : public wxApp
{
public:
    bool OnInit() override { return true; }
};

// Assertions fail the running test instead of opening a dialog.
void failOnAssert(const wxString& file, int line, const wxString& function, const wxString& condition,
                  const wxString& message)
{
    ADD_FAILURE_AT(file.utf8_string().c_str(), line)
        << "wxWidgets assertion in " << function.utf8_string() << ": " << condition.utf8_string() << " "
        << message.utf8_string();
}
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (done at build time, maybe without a display) needs no GUI.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    wxApp::SetInstance(new CTestApp);
    if (!wxEntryStart(argc, argv))
    {
        std::fprintf(stderr, "cannot start wxWidgets (is there a display?)\n");
        return 1;
    }
    wxSetAssertHandler(&failOnAssert);
    wxTheApp->CallOnInit();
    // The plug-in panels are parented by the application's top window.
    auto* frame = new wxFrame(nullptr, wxID_ANY, "tests");
    wxTheApp->SetTopWindow(frame);
    frame->Show();
    const int result = RUN_ALL_TESTS();
    frame->Destroy();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
