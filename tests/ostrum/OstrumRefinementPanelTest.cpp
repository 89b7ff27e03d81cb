// The refinement commands of the Ostrum panel in-process, on a storage set up as the host
// sets it up: Reduce Small Areas, Run Smoothing, Run Decimation and RUN ALL with their
// fields, progress windows, fallbacks for fields that do not parse, and cancels that leave
// the model exactly as it was.

#include "data/CDataStorage.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "host/CHostData.h"
#include "plug/CAppSceneHub.h"
#include "plug/CDialogService.h"
#include "plugins/ostrum/COstrumPanel.h"
#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "plugins/ostrum/mesh/CSmallAreaReduction.h"
#include "tests/mesh/RefinementMeshes.h"
#include "vctl/MCTriS.h"

#include "tests/support/CPanelFixture.h"
#include "tests/support/CRecordingStorage.h"
#include "tests/support/CTestProgress.h"

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ostrum::COstrumPanel;

constexpr int ID_BASE = 7000;
constexpr int SIZE = 30;

// A progress window that answers cancel from the first report after its counter went back
// (a step that restarts its count, like the decimation's collapses after its initial
// costs), or from its first report when told so.
class CCancellingProgress : public plug::CProgressReporter
{
public:
    CCancellingProgress(bool atOnce, std::vector<std::string>& log) : m_atOnce(atOnce), m_log(log) {}
    ~CCancellingProgress() override { m_log.push_back("closed"); }
    bool Show(bool) override { return true; }
    bool updateProgress(int current, int) override
    {
        m_cancelled = m_cancelled || m_atOnce || current <= m_last;
        m_last = current;
        return !m_cancelled;
    }

private:
    bool m_atOnce;
    bool m_cancelled = false;
    int m_last = 0;
    std::vector<std::string>& m_log;
};

// Progress windows numbered from 1; the one numbered `cancelWindow` answers cancel (from
// its first report, or with `cancelOnRestart` from the first one after its count restarted).
class CCountingDialogs : public plug::CDialogService
{
public:
    int cancelWindow = 0;
    bool cancelOnRestart = false;
    int windows = 0;
    std::vector<std::string> log;

    int confirm(const wxString&, const wxString&, long) override { return wxNO; }
    void showMessage(const wxString& message, const wxString&, long) override
    {
        log.push_back("message " + message.utf8_string());
    }
    wxString selectFile(const wxString&, const wxString&, const wxString&, const wxString&, const wxString&,
                        int) override
    {
        ADD_FAILURE() << "unexpected file selector";
        return wxString();
    }
    bool chooseColour(const wxColour&, const wxString&, wxColour&) override { return false; }
    plug::CProgressReporter* createProgress(const wxString& message, int maximum) override
    {
        log.push_back("progress " + message.utf8_string() + " " + std::to_string(maximum));
        if (++windows != cancelWindow)
            return new CTestProgress(false, log);
        return new CCancellingProgress(!cancelOnRestart, log);
    }
};

class OstrumRefinementTest : public CPanelFixture<COstrumPanel>
{
protected:
    void SetUp() override
    {
        openPanel(m_dialogs, ID_BASE);
    }

    // Two blobs of label 1 (a cube of 27 voxels and a ball of radius 11) and three lone voxels.
    void loadBlobs()
    {
        velmora::import::CLoadedVolume volume;
        volume.xSize = volume.ySize = volume.zSize = SIZE;
        volume.voxels.assign(volume.voxelCount(), 0);
        m_host->loadDataSet(volume);
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        for (int z = 0; z < SIZE; ++z)
            for (int y = 0; y < SIZE; ++y)
                for (int x = 0; x < SIZE; ++x)
                {
                    const bool small = x >= 2 && x < 5 && y >= 2 && y < 5 && z >= 2 && z < 5;
                    const bool large = (x - 16) * (x - 16) + (y - 16) * (y - 16) + (z - 15) * (z - 15) <= 121;
                    if (small || large)
                        regions->at(x, y, z) = 1;
                }
        regions->at(SIZE - 2, 2, 2) = 1;
        regions->at(2, SIZE - 2, 2) = 1;
        regions->at(2, 2, SIZE - 2) = 1;
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        ASSERT_TRUE(coloring->setActive(1));
    }

    // The mesh "Run MC" builds from the blobs, made here directly.
    std::unique_ptr<vctl::MCTriS> expectedRunMc()
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        auto mesh = std::make_unique<vctl::MCTriS>();
        CMarchingCubes extractor;
        extractor.setDimensions(SIZE, SIZE, SIZE);
        EXPECT_TRUE(extractor.extract(mesh.get(), 1, *regions));
        EXPECT_TRUE(CFlatAreaReduction().reduce(*mesh));
        return mesh;
    }

    void set(int offset, const std::string& text)
    {
        auto* field = dynamic_cast<wxTextCtrl*>(m_panel->FindWindow(ID_BASE + offset));
        ASSERT_NE(field, nullptr);
        field->SetValue(wxString::FromUTF8(text));
    }
    std::string field(int offset)
    {
        auto* text = dynamic_cast<wxTextCtrl*>(m_panel->FindWindow(ID_BASE + offset));
        return text ? text->GetValue().utf8_string() : "?";
    }
    void press(int offset)
    {
        wxWindow* window = m_panel->FindWindow(ID_BASE + offset);
        ASSERT_NE(window, nullptr);
        wxCommandEvent event(wxEVT_BUTTON, window->GetId());
        event.SetEventObject(window);
        window->ProcessWindowEvent(event);
    }
    vctl::MCTriS* modelMesh()
    {
        data::CObjectPtr<data::CModel> model(m_storage->getEntry(velmora::ENTRY_MODEL, 3));
        return model->getMesh();
    }
    int modelFlag()
    {
        data::CObjectPtr<data::CModel> model(m_storage->getEntry(velmora::ENTRY_MODEL, 3));
        return model->getFlag();
    }
    void clearLogs()
    {
        m_dialogs.log.clear();
        m_dialogs.windows = 0;
        m_storage->announced.clear();
    }
    std::vector<std::string> windowsOpened() const
    {
        std::vector<std::string> opened;
        for (const std::string& line : m_dialogs.log)
            if (line.rfind("progress ", 0) == 0)
                opened.push_back(line.substr(9));
        return opened;
    }

    CCountingDialogs m_dialogs;
};

} // namespace

TEST_F(OstrumRefinementTest, StepsWithoutAModelDoNothing)
{
    loadBlobs();
    for (int button : {COstrumPanel::ID_REDUCE_SMALL_AREAS, COstrumPanel::ID_RUN_SMOOTHING,
                       COstrumPanel::ID_RUN_DECIMATION})
    {
        clearLogs();
        press(button);
        EXPECT_TRUE(m_dialogs.log.empty()) << button;
        EXPECT_TRUE(m_storage->announced.empty()) << button;
        EXPECT_EQ(modelMesh(), nullptr);
    }
    EXPECT_FALSE(m_panel->reduceSmallAreas());
    EXPECT_FALSE(m_panel->smoothModel());
    EXPECT_FALSE(m_panel->decimateModel());
}

TEST_F(OstrumRefinementTest, EachStepOnTheModelWithItsFieldsAndFallbacks)
{
    loadBlobs();
    struct CCase
    {
        int button;
        std::vector<std::pair<int, std::string>> fields;
        const char* window;
        // The same step made directly on the expected mesh.
        std::function<void(vctl::MCTriS&)> expected;
    };
    const auto smoothing = [](long iterations, double lambda, double k) {
        return [=](vctl::MCTriS& mesh) { EXPECT_TRUE(CMeshSmoothing().smooth(mesh, iterations, lambda, k)); };
    };
    const std::vector<CCase> cases = {
        {COstrumPanel::ID_REDUCE_SMALL_AREAS, {{37, "8"}}, "Reducing model flat areas, please wait...",
         [](vctl::MCTriS& m) { CSmallAreaReduction().reduce(m, 8); }},
        {COstrumPanel::ID_REDUCE_SMALL_AREAS, {{37, "x"}}, "Reducing model flat areas, please wait...",
         [](vctl::MCTriS& m) { CSmallAreaReduction().reduce(m, 500); }},
        {COstrumPanel::ID_RUN_SMOOTHING, {{47, "0.5"}, {48, "0.05"}, {49, "3"}}, "Smoothing model, please wait...",
         smoothing(3, 0.5, 0.05)},
        {COstrumPanel::ID_RUN_SMOOTHING, {{47, "abc"}, {48, ""}, {49, "z"}}, "Smoothing model, please wait...",
         smoothing(5, 0.6073, 0.1)},
        {COstrumPanel::ID_RUN_SMOOTHING, {{47, "inf"}, {48, "nan"}, {49, "2"}}, "Smoothing model, please wait...",
         smoothing(2, 0.6073, 0.1)},
        {COstrumPanel::ID_RUN_SMOOTHING, {{47, "0.5"}, {48, "2"}, {49, "2"}}, "Smoothing model, please wait...",
         smoothing(2, 0.6073, 0.1)},
        {COstrumPanel::ID_RUN_SMOOTHING, {{49, "-2"}}, "Smoothing model, please wait...", smoothing(0, 0.6073, 0.1)},
    };
    for (const CCase& c : cases)
    {
        ASSERT_TRUE(m_panel->createModel());
        auto expected = expectedRunMc();
        c.expected(*expected);
        for (const auto& [offset, text] : c.fields)
            set(offset, text);
        clearLogs();
        vctl::MCTriS* before = modelMesh();
        press(c.button);
        EXPECT_EQ(modelMesh(), before);
        EXPECT_EQ(refinetest::stateOf(*modelMesh()), refinetest::stateOf(*expected)) << c.window;
        EXPECT_EQ(windowsOpened(), std::vector<std::string>{std::string(c.window) + " 100"});
        EXPECT_EQ(m_dialogs.log.back(), "closed");
        EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{801, 0}}));
        EXPECT_EQ(modelFlag(), 1);
        EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), std::to_string(expected->getNumOfTris()));
        EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), std::to_string(expected->getNumOfVertices()));
        for (const auto& [offset, text] : c.fields)
            set(offset, offset == 37 ? "500" : offset == 47 ? "0.6073" : offset == 48 ? "0.1" : "5");
    }

    // Decimation: to the end count, or to half the model when the field does not parse.
    for (const std::string& text : {std::string("500"), std::string("abc")})
    {
        ASSERT_TRUE(m_panel->createModel());
        const long count = modelMesh()->getNumOfTris();
        ASSERT_GT(count, 1000);
        const long target = text == "abc" ? count * 50 / 100 : 500;
        set(COstrumPanel::ID_END_TRIANGLES, text);
        clearLogs();
        EXPECT_TRUE(m_panel->decimateModel());
        EXPECT_EQ(windowsOpened(), std::vector<std::string>{"Decimating model, please wait... 100"});
        EXPECT_LT(modelMesh()->getNumOfTris(), target);
        EXPECT_GE(modelMesh()->getNumOfTris(), target - 2);
        EXPECT_EQ(refinetest::surfaceFault(*modelMesh()), "");
        EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), std::to_string(modelMesh()->getNumOfTris()));
    }
}

TEST_F(OstrumRefinementTest, CancelledSmoothingOrDecimationKeepsTheModelExactly)
{
    loadBlobs();
    set(COstrumPanel::ID_END_TRIANGLES, "200");
    for (int button : {COstrumPanel::ID_RUN_SMOOTHING, COstrumPanel::ID_RUN_DECIMATION})
    {
        ASSERT_TRUE(m_panel->createModel());
        vctl::MCTriS* before = modelMesh();
        const refinetest::CMeshState state = refinetest::stateOf(*before);
        const std::string triangles = field(COstrumPanel::ID_TRIANGLES_COUNT);
        clearLogs();
        m_dialogs.cancelWindow = 1;
        m_dialogs.cancelOnRestart = button == COstrumPanel::ID_RUN_DECIMATION;
        press(button);
        m_dialogs.cancelWindow = 0;
        EXPECT_EQ(modelMesh(), before);
        EXPECT_EQ(refinetest::stateOf(*modelMesh()), state) << button;
        EXPECT_EQ(modelFlag(), 0);
        EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{801, 0}}));
        EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), triangles);
        EXPECT_EQ(m_dialogs.log.back(), "closed");
    }
}

TEST_F(OstrumRefinementTest, RunAllRunsTheFourStepsAndStopsAtACancel)
{
    loadBlobs();
    set(COstrumPanel::ID_SMALL_AREA_THRESHOLD, "20");
    set(COstrumPanel::ID_END_TRIANGLES, "500");
    auto expected = expectedRunMc();
    CSmallAreaReduction().reduce(*expected, 20);
    const int afterSmallAreas = expected->getNumOfTris();
    ASSERT_TRUE(CMeshSmoothing().smooth(*expected, 5, 0.6073, 0.1));
    const refinetest::CMeshState smoothed = refinetest::stateOf(*expected);

    clearLogs();
    press(COstrumPanel::ID_RUN_ALL);
    EXPECT_EQ(windowsOpened(),
              (std::vector<std::string>{"Creating model, please wait... 100",
                                        "Reducing model flat areas, please wait... 100",
                                        "Reducing model flat areas, please wait... 100",
                                        "Smoothing model, please wait... 100", "Decimating model, please wait... 100"}));
    ASSERT_NE(modelMesh(), nullptr);
    EXPECT_LT(modelMesh()->getNumOfTris(), 500);
    EXPECT_GE(modelMesh()->getNumOfTris(), 498);
    EXPECT_LT(modelMesh()->getNumOfTris(), afterSmallAreas);
    EXPECT_EQ(refinetest::surfaceFault(*modelMesh()), "");
    EXPECT_EQ(modelFlag(), 1);
    EXPECT_EQ(m_storage->announced.size(), 4u);
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), std::to_string(modelMesh()->getNumOfTris()));
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), std::to_string(modelMesh()->getNumOfVertices()));

    // Cancelled in the smoothing (window 4): no decimation; the model is the small-area step's.
    clearLogs();
    m_dialogs.cancelWindow = 4;
    EXPECT_FALSE(m_panel->runAll());
    m_dialogs.cancelWindow = 0;
    EXPECT_EQ(windowsOpened().size(), 4u);
    EXPECT_EQ(modelMesh()->getNumOfTris(), afterSmallAreas);
    EXPECT_NE(refinetest::stateOf(*modelMesh()), smoothed);
    EXPECT_EQ(modelFlag(), 0);

    // Cancelled in the extraction: nothing after it, the model as it was.
    const refinetest::CMeshState kept = refinetest::stateOf(*modelMesh());
    clearLogs();
    m_dialogs.cancelWindow = 1;
    EXPECT_FALSE(m_panel->runAll());
    m_dialogs.cancelWindow = 0;
    EXPECT_EQ(windowsOpened().size(), 1u);
    EXPECT_EQ(refinetest::stateOf(*modelMesh()), kept);
    EXPECT_TRUE(m_storage->announced.empty());

    // Cancelled in the decimation's collapses (window 5): the smoothed model stays.
    clearLogs();
    m_dialogs.cancelWindow = 5;
    m_dialogs.cancelOnRestart = true;
    EXPECT_FALSE(m_panel->runAll());
    m_dialogs.cancelWindow = 0;
    EXPECT_EQ(refinetest::stateOf(*modelMesh()), smoothed);
}
