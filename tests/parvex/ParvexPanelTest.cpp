// The Parvex panel in-process under a running wxWidgets application, on a storage set up as
// the host sets it up: controls as built, thresholding with its undo snapshot, progress
// window and cancel, following the data set's statistics, picking the bounds, marking
// samples with strokes and clearing them.

#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CObjectPtr.h"
#include "data/COrthoSliceXY.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "data/CUndoManager.h"
#include "host/CHostData.h"
#include "plug/CAppSceneHub.h"
#include "plug/CDialogService.h"
#include "plugins/parvex/CParvexInterface.h"
#include "plugins/parvex/CParvexMenu.h"
#include "plugins/parvex/CParvexPanel.h"
#include "plugins/parvex/seg/CASVolumeFCM.h"

#include "tests/support/CPanelFixture.h"
#include "tests/support/CRecordingStorage.h"
#include "tests/support/CTestProgress.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/tglbtn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using parvex::CParvexPanel;

constexpr int ID_BASE = 5000;

class CTestDialogs : public plug::CDialogService
{
public:
    bool cancelNextProgress = false;
    std::vector<std::string> log;

    int confirm(const wxString&, const wxString&, long) override { return wxNO; }
    void showMessage(const wxString& message, const wxString&, long) override
    {
        log.push_back("message " + message.utf8_string());
    }
    wxString selectFile(const wxString&, const wxString&, const wxString&, const wxString&, const wxString&,
                        int) override
    {
        return wxString();
    }
    bool chooseColour(const wxColour&, const wxString&, wxColour&) override { return false; }
    plug::CProgressReporter* createProgress(const wxString& message, int maximum) override
    {
        log.push_back("progress " + message.utf8_string() + " " + std::to_string(maximum));
        const bool cancel = cancelNextProgress;
        cancelNextProgress = false;
        return new CTestProgress(cancel, log);
    }
};

class ParvexPanelTest : public CPanelFixture<CParvexPanel>
{
protected:
    void SetUp() override
    {
        openPanel(m_dialogs, ID_BASE);
    }

    // A data set whose density at (x, y, z) is 100 * x + 10 * y + z - 1024 unless set.
    void load(int x, int y, int z, std::map<std::array<int, 3>, std::int16_t> special = {})
    {
        velmora::import::CLoadedVolume volume;
        volume.xSize = x;
        volume.ySize = y;
        volume.zSize = z;
        for (int k = 0; k < z; ++k)
            for (int j = 0; j < y; ++j)
                for (int i = 0; i < x; ++i)
                {
                    auto found = special.find({i, j, k});
                    volume.voxels.push_back(found != special.end() ? found->second
                                                                   : static_cast<std::int16_t>(100 * i + 10 * j + k - 1024));
                }
        m_host->loadDataSet(volume);
    }

    template <class T>
    T* control(int offset)
    {
        auto* window = dynamic_cast<T*>(m_panel->FindWindow(ID_BASE + offset));
        EXPECT_NE(window, nullptr) << "control at offset " << offset;
        return window;
    }

    void press(int offset)
    {
        wxWindow* window = m_panel->FindWindow(ID_BASE + offset);
        ASSERT_NE(window, nullptr);
        if (auto* toggle = dynamic_cast<wxToggleButton*>(window))
        {
            toggle->SetValue(!toggle->GetValue());
            wxCommandEvent event(wxEVT_TOGGLEBUTTON, toggle->GetId());
            event.SetEventObject(toggle);
            event.SetInt(toggle->GetValue());
            toggle->ProcessWindowEvent(event);
        }
        else if (auto* box = dynamic_cast<wxCheckBox*>(window))
        {
            box->SetValue(!box->GetValue());
            wxCommandEvent event(wxEVT_CHECKBOX, box->GetId());
            event.SetEventObject(box);
            event.SetInt(box->GetValue());
            box->ProcessWindowEvent(event);
        }
        else
        {
            wxCommandEvent event(wxEVT_BUTTON, window->GetId());
            event.SetEventObject(window);
            window->ProcessWindowEvent(event);
        }
    }

    void setThresholds(int lower, int higher)
    {
        control<wxSpinCtrl>(CParvexPanel::ID_LOWER_THRESHOLD)->SetValue(lower);
        control<wxSpinCtrl>(CParvexPanel::ID_HIGHER_THRESHOLD)->SetValue(higher);
    }

    int label(int x, int y, int z) { return m_host->getLabel(x, y, z); }
    std::size_t undoCount()
    {
        data::CObjectPtr<data::CUndoManager> history(m_storage->getEntry(velmora::ENTRY_UNDO_MANAGER, 3));
        return history->getUndoCount();
    }
    void stroke(const std::vector<osg::Vec3f>& points, int state = 2)
    {
        osg::ref_ptr<osg::Vec3Array> array = new osg::Vec3Array(points.begin(), points.end());
        m_hub->strokeDrawn.emit(array.get(), state, 0);
    }

    CTestDialogs m_dialogs;
};

} // namespace

TEST_F(ParvexPanelTest, ControlsLabelsTooltipsRangesAndDefaults)
{
    struct CButton
    {
        int offset;
        const char* label;
        const char* tip;
    };
    const CButton buttons[] = {
        {26, "Mark Positive", "Allows you to select voxel samples for training positive GMM model."},
        {27, "Mark Negative", "Allows you to select voxel samples for training negative GMM model."},
        {29, "Preview Mode",
         "Enables the preview mode which is usefull during GMM adjusting. In the preview mode, only the current ortho "
         "slice is segmented."},
        {28, "Clear Samples", "Clears both the positive and the negative GMM models."},
        {30, "Perform GMM Segmentation", "Applies the GMM-based segmentation to the whole volumetric data."},
        {32, "Perform FCM Segmentation", "Performs the Fuzzy C-Means segmentation."},
        {49, "Pick Lower", "Press the button and then click any point in the 3D/ortho scene."},
        {50, "Pick Higher", "Press the button and then click any point in the 3D/ortho scene."},
        {48, "Perform Thresholding", "Performs simple thresholding of the original image data."},
        {57, "Perform Median Filtering", "Applies median filter of the specified radius to the segmented data."},
        {67, "Dilate", "Applies the binary dilatation to the segmented data."},
        {68, "Erode", "Applies the binary erosion to the segmented data."}};
    for (const CButton& button : buttons)
    {
        auto* window = control<wxControl>(button.offset);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->GetLabelText(), button.label);
        EXPECT_EQ(window->GetToolTipText(), button.tip);
    }
    EXPECT_NE(control<wxToggleButton>(26), nullptr);
    EXPECT_FALSE(control<wxToggleButton>(26)->GetValue());
    EXPECT_FALSE(control<wxToggleButton>(27)->GetValue());
    EXPECT_TRUE(control<wxCheckBox>(29)->GetValue());

    struct CSpin
    {
        int offset;
        const char* label;
        int minimum, maximum, initial;
        const char* tip;
    };
    const CSpin spins[] = {
        {31, "Num. of Regions", 0, 100, 0, "Number of regions. Enter zero to estimate the optimal value automatically."},
        {46, "Lower Threshold", -1500, 4000, 500, nullptr},
        {47, "Higher Threshold", -1500, 4000, 2500, nullptr},
        {56, "Filter Size", 1, 9, 1, "Set filter radius."},
        {66, "Element Size", 1, 20, 1, "Set structural element size - higher value means larger influence radius."}};
    for (const CSpin& spin : spins)
    {
        auto* window = control<wxSpinCtrl>(spin.offset);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->GetMin(), spin.minimum) << spin.label;
        EXPECT_EQ(window->GetMax(), spin.maximum) << spin.label;
        EXPECT_EQ(window->GetValue(), spin.initial) << spin.label;
        EXPECT_TRUE(window->HasFlag(wxSP_ARROW_KEYS));
        EXPECT_EQ(window->GetToolTipText(), spin.tip ? spin.tip : "") << spin.label;
        // The label precedes the spin control in its row.
        wxSizer* row = window->GetContainingSizer();
        ASSERT_NE(row, nullptr);
        auto* text = dynamic_cast<wxStaticText*>(row->GetItem(std::size_t(0))->GetWindow());
        ASSERT_NE(text, nullptr) << spin.label;
        EXPECT_EQ(text->GetLabelText(), spin.label);
        EXPECT_EQ(text->GetId(), wxID_STATIC);
    }

    // Five groups in order, each a static box.
    std::vector<wxString> groups;
    for (wxSizerItem* item : m_panel->GetSizer()->GetChildren())
    {
        auto* group = dynamic_cast<wxStaticBoxSizer*>(item->GetSizer());
        ASSERT_NE(group, nullptr);
        groups.push_back(group->GetStaticBox()->GetLabelText());
    }
    EXPECT_EQ(groups, (std::vector<wxString>{"GMM Segmentation", "FCM Segmentation", "Thresholding", "Median Filter",
                                             "Morphological Operations"}));
    EXPECT_EQ(m_panel->getMarkingMode(), 0);
    EXPECT_TRUE(m_panel->isPreviewOn());
    press(CParvexPanel::ID_PREVIEW_MODE); // unchecking switches the preview off
    EXPECT_FALSE(m_panel->isPreviewOn());
    press(CParvexPanel::ID_PREVIEW_MODE);
    EXPECT_TRUE(m_panel->isPreviewOn());

    // The interface makes this panel and a menu with the standard items only.
    parvex::CParvexInterface pluginInterface(0);
    auto* menu = pluginInterface.createMenu(m_adapter.get());
    ASSERT_NE(dynamic_cast<parvex::CParvexMenu*>(menu), nullptr);
    EXPECT_TRUE(menu->createItems());
    EXPECT_EQ(menu->GetMenuItemCount(), 2u);
    delete menu;
    EXPECT_EQ(pluginInterface.createToolbar(m_adapter.get()), nullptr);
    auto* panel = pluginInterface.createPanel(m_adapter.get());
    EXPECT_NE(dynamic_cast<CParvexPanel*>(panel), nullptr);
    delete panel;
}

TEST_F(ParvexPanelTest, SpinControlsFollowTheDataSetsDensityRange)
{
    load(4, 4, 2, {{{0, 0, 0}, -1024}, {{3, 3, 1}, 3071}});
    auto* lower = control<wxSpinCtrl>(CParvexPanel::ID_LOWER_THRESHOLD);
    auto* higher = control<wxSpinCtrl>(CParvexPanel::ID_HIGHER_THRESHOLD);
    EXPECT_EQ(lower->GetMin(), -1024);
    EXPECT_EQ(lower->GetMax(), 3071);
    EXPECT_EQ(lower->GetValue(), -1024);
    EXPECT_EQ(higher->GetMin(), -1024);
    EXPECT_EQ(higher->GetMax(), 3071);
    EXPECT_EQ(higher->GetValue(), 3071);

    // With these bounds everything but the maximum is labelled.
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    const auto counts = m_host->getLabelCounts();
    EXPECT_EQ(counts.at(1), 31);
    EXPECT_EQ(counts.at(0), 1);
    EXPECT_EQ(label(3, 3, 1), 0);

    // A new data set moves them again.
    load(2, 2, 2, {{{0, 0, 0}, -5}, {{1, 1, 1}, 7}, {{1, 0, 0}, 0}, {{0, 1, 0}, 0}, {{1, 1, 0}, 0},
                   {{0, 0, 1}, 0}, {{1, 0, 1}, 0}, {{0, 1, 1}, 0}});
    EXPECT_EQ(lower->GetMin(), -5);
    EXPECT_EQ(higher->GetMax(), 7);
    EXPECT_EQ(higher->GetValue(), 7);

    // Bounds the user chose go back to the new data set's range, also when that range is
    // the one shown already (the controls are then not told their range again).
    lower->SetValue(2);
    higher->SetValue(3);
    load(2, 1, 1, {{{0, 0, 0}, -5}, {{1, 0, 0}, 7}});
    EXPECT_EQ(lower->GetValue(), -5);
    EXPECT_EQ(higher->GetValue(), 7);
    EXPECT_EQ(lower->GetMin(), -5);
    EXPECT_EQ(lower->GetMax(), 7);
}

TEST_F(ParvexPanelTest, ThresholdingLabelsActiveRegionRecordsUndoAndAnnouncesWithUpdate)
{
    load(8, 6, 4);
    {
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        ASSERT_TRUE(coloring->setActive(3));
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(5);
        regions->show(false);
    }
    // Densities 100 * x + 10 * y + z - 1024: x in {3, 4} lies in [-750, -550) for every y, z.
    setThresholds(-750, -550);
    m_storage->announced.clear();
    m_dialogs.log.clear();
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    EXPECT_EQ(m_dialogs.log.front(), "progress Applying thresholding filter, please wait... 100");
    EXPECT_EQ(m_dialogs.log[1], "shown");
    EXPECT_EQ(m_dialogs.log[2], "report 1/4");
    EXPECT_EQ(m_dialogs.log.back(), "closed");
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{501, 2}}));
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(label(x, 2, 1), x == 3 || x == 4 ? 3 : 0) << x;
    EXPECT_EQ(m_host->getLabelCounts().at(3), 2 * 6 * 4);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        EXPECT_TRUE(regions->isShown());
    }
    EXPECT_EQ(undoCount(), 1u);
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(m_host->getLabelCounts().at(5), 8 * 6 * 4);

    // Equal bounds label nothing.
    setThresholds(0, 0);
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    EXPECT_EQ(m_host->getLabelCounts().at(0), 8 * 6 * 4);

    // An active index beyond the largest 16-bit label must not wrap onto region 1.
    {
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        coloring->resize(65538, false);
        ASSERT_TRUE(coloring->setActive(65537));
    }
    const auto historyBefore = undoCount();
    m_dialogs.log.clear();
    setThresholds(-2000, 4000);
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    EXPECT_EQ(m_host->getLabelCounts().at(0), 8 * 6 * 4);
    EXPECT_EQ(m_host->getLabelCounts().count(1), 0u);
    EXPECT_EQ(undoCount(), historyBefore);
    ASSERT_FALSE(m_dialogs.log.empty());
    EXPECT_EQ(m_dialogs.log.front().rfind("message The active region has no label number", 0), 0u) << m_dialogs.log.front();
}

TEST_F(ParvexPanelTest, CancelledOrRefusedRunKeepsLabelsButRecordsAndAnnounces)
{
    load(8, 6, 4);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(2);
    }
    setThresholds(-2000, 4000);
    m_dialogs.cancelNextProgress = true;
    m_storage->announced.clear();
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    EXPECT_EQ(m_host->getLabelCounts().at(2), 8 * 6 * 4); // the copy was cancelled, not the labels
    EXPECT_EQ(undoCount(), 1u);
    EXPECT_EQ(m_storage->count(501, 2), 1);

    // A density volume larger than the region volume: refused, treated alike.
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->resize(8, 6, 3);
        regions->fill(2);
    }
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    EXPECT_EQ(m_host->getLabelCounts().at(2), 8 * 6 * 3);
    EXPECT_EQ(undoCount(), 2u);
    EXPECT_EQ(m_storage->count(501, 2), 2);

    // A larger region volume: the density's block is labelled, the rest keeps its labels.
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->resize(9, 6, 5);
        regions->fill(2);
    }
    press(CParvexPanel::ID_PERFORM_THRESHOLDING);
    const auto counts = m_host->getLabelCounts();
    // (The spins are limited to the data's range, so the maximum itself stays outside.)
    EXPECT_EQ(counts.at(1), 8 * 6 * 4 - 1);
    EXPECT_EQ(counts.at(0), 1);
    EXPECT_EQ(counts.at(2), 9 * 6 * 5 - 8 * 6 * 4);
    EXPECT_EQ(label(8, 0, 0), 2);
    EXPECT_EQ(label(0, 0, 4), 2);
}

TEST_F(ParvexPanelTest, PickReadsRoundedVoxelOnceAndNewRequestReplacesPending)
{
    load(12, 24, 5, {{{10, 21, 3}, 1234}, {{2, 2, 2}, -77}, {{11, 23, 4}, 999}});
    auto* lower = control<wxSpinCtrl>(CParvexPanel::ID_LOWER_THRESHOLD);
    auto* higher = control<wxSpinCtrl>(CParvexPanel::ID_HIGHER_THRESHOLD);
    std::vector<int> modes;
    m_hub->modeChanged.connect([&modes](int mode) { modes.push_back(mode); });
    m_hub->mode = 3;

    press(CParvexPanel::ID_PICK_HIGHER);
    EXPECT_EQ(m_hub->getMode(), CAppSceneHub::MODE_PICK_POINT);
    EXPECT_EQ(m_hub->getSavedMode(), 3);
    EXPECT_EQ(modes, (std::vector<int>{32869}));
    EXPECT_EQ(m_hub->pointPicked.getCount(), 1u);
    const int lowerBefore = lower->GetValue();
    m_hub->pointPicked.emit(10.4f, 20.5f, 3.49f, 0); // rounds to (10, 21, 3)
    EXPECT_EQ(higher->GetValue(), 1234);
    EXPECT_EQ(lower->GetValue(), lowerBefore);
    EXPECT_EQ(m_hub->pointPicked.getCount(), 0u); // one pick per request
    m_hub->pointPicked.emit(2.f, 2.f, 2.f, 0);
    EXPECT_EQ(higher->GetValue(), 1234);

    // Pick Lower, then Pick Higher, then one click: only the higher bound changes.
    press(CParvexPanel::ID_PICK_LOWER);
    press(CParvexPanel::ID_PICK_HIGHER);
    EXPECT_EQ(m_hub->pointPicked.getCount(), 1u);
    EXPECT_EQ(modes.size(), 1u); // already picking: no second mode change
    m_hub->pointPicked.emit(1.6f, 1.5f, 2.2f, 0);
    EXPECT_EQ(higher->GetValue(), -77);
    EXPECT_EQ(lower->GetValue(), lowerBefore);

    // A point outside the volume is ignored (and still uses up the request).
    press(CParvexPanel::ID_PICK_LOWER);
    for (auto point : {osg::Vec3f(11.5f, 0, 0), osg::Vec3f(-0.6f, 0, 0), osg::Vec3f(0, 23.6f, 0), osg::Vec3f(0, 0, 1e9f)})
    {
        press(CParvexPanel::ID_PICK_LOWER);
        m_hub->pointPicked.emit(point.x(), point.y(), point.z(), 0);
        EXPECT_EQ(lower->GetValue(), lowerBefore);
    }
    // The last voxel is still inside.
    press(CParvexPanel::ID_PICK_LOWER);
    m_hub->pointPicked.emit(11.49f, 23.4f, 4.0f, 0);
    EXPECT_EQ(lower->GetValue(), 999);
    // x + 0.5 is exact: the float just below 0.5 is voxel 0, not 1 (a float sum rounds up).
    press(CParvexPanel::ID_PICK_LOWER);
    m_hub->pointPicked.emit(std::nextafter(0.5f, 0.0f), 2.f, 2.f, 0);
    EXPECT_EQ(lower->GetValue(), 0 + 20 + 2 - 1024);

    // A pending request does not outlive the panel.
    press(CParvexPanel::ID_PICK_LOWER);
    delete m_panel;
    m_panel = nullptr;
    EXPECT_EQ(m_hub->pointPicked.getCount(), 0u);
}

TEST_F(ParvexPanelTest, MarkingSamplesWithStrokes)
{
    load(6, 6, 6);
    press(CParvexPanel::ID_MARK_POSITIVE);
    {
        data::CObjectPtr<data::CDrawingOptions> options(m_storage->getEntry(velmora::ENTRY_DRAWING_OPTIONS, 3));
        EXPECT_EQ(options->getDrawingMode(), 3);
        EXPECT_EQ(options->getColor().blue, 1.0f);
        EXPECT_EQ(options->getColor().red, 0.0f);
        EXPECT_EQ(options->getWidth(), 2.0f);
    }
    EXPECT_TRUE(control<wxToggleButton>(CParvexPanel::ID_MARK_POSITIVE)->GetValue());
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_POSITIVE);
    EXPECT_EQ(m_hub->strokeDrawn.getCount(), 1u);

    stroke({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    ASSERT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 21u);
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSamples()[0].value, 100 + 10 + 1 - 1024);
    stroke({{0, 1, 1}, {2, 2, 2}, {3, 3, 3}}); // one point on the border
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 21u + 20u);
    stroke({}, 1); // handed the input: nothing happens
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 41u);
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 0u);

    // Releasing the toggle stops drawing; the mode and the connection stay.
    press(CParvexPanel::ID_MARK_POSITIVE);
    {
        data::CObjectPtr<data::CDrawingOptions> options(m_storage->getEntry(velmora::ENTRY_DRAWING_OPTIONS, 3));
        EXPECT_EQ(options->getDrawingMode(), 0);
    }
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_POSITIVE);

    press(CParvexPanel::ID_MARK_NEGATIVE);
    {
        data::CObjectPtr<data::CDrawingOptions> options(m_storage->getEntry(velmora::ENTRY_DRAWING_OPTIONS, 3));
        EXPECT_EQ(options->getColor().red, 1.0f);
        EXPECT_EQ(options->getColor().blue, 0.0f);
    }
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_NEGATIVE);
    EXPECT_EQ(m_hub->strokeDrawn.getCount(), 1u); // exclusive: still one connection
    stroke({{2, 2, 2}});
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 7u);
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 41u);

    // State 0 (the input taken away) releases both toggles even when pressed.
    control<wxToggleButton>(CParvexPanel::ID_MARK_POSITIVE)->SetValue(true);
    stroke({}, 0);
    EXPECT_FALSE(control<wxToggleButton>(CParvexPanel::ID_MARK_POSITIVE)->GetValue());
    EXPECT_FALSE(control<wxToggleButton>(CParvexPanel::ID_MARK_NEGATIVE)->GetValue());
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_NONE);
    stroke({{2, 2, 2}}); // no marking mode: no samples
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 7u);

    // The stroke connection does not outlive the panel.
    delete m_panel;
    m_panel = nullptr;
    EXPECT_EQ(m_hub->strokeDrawn.getCount(), 0u);
}

TEST_F(ParvexPanelTest, PressingOneToggleWhileTheOtherIsPressedKeepsBothPressed)
{
    load(6, 6, 6);
    auto* positive = control<wxToggleButton>(CParvexPanel::ID_MARK_POSITIVE);
    auto* negative = control<wxToggleButton>(CParvexPanel::ID_MARK_NEGATIVE);
    press(CParvexPanel::ID_MARK_NEGATIVE);
    press(CParvexPanel::ID_MARK_POSITIVE);
    // Taking the stroke input again does not release the toggle the user left pressed.
    EXPECT_TRUE(positive->GetValue());
    EXPECT_TRUE(negative->GetValue());
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_POSITIVE);
    EXPECT_EQ(m_hub->strokeDrawn.getCount(), 1u);
    {
        data::CObjectPtr<data::CDrawingOptions> options(m_storage->getEntry(velmora::ENTRY_DRAWING_OPTIONS, 3));
        EXPECT_EQ(options->getColor().blue, 1.0f);
        EXPECT_EQ(options->getDrawingMode(), 3);
    }
    stroke({{2, 2, 2}});
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 7u);
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 0u);

    // Another holder taking the stroke input still releases both.
    m_hub->connectStrokeExclusive(CAppSceneHub::tStrokeSignal::tFunctor([](const osg::Vec3Array*, int, int) {}));
    EXPECT_FALSE(positive->GetValue());
    EXPECT_FALSE(negative->GetValue());
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_NONE);
}

TEST_F(ParvexPanelTest, ClearSamplesEmptiesSetsAndLabelsAndCanBeUndone)
{
    load(6, 6, 6);
    press(CParvexPanel::ID_MARK_POSITIVE);
    stroke({{2, 2, 2}});
    press(CParvexPanel::ID_MARK_NEGATIVE);
    stroke({{3, 3, 3}});
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(4);
    }
    m_storage->announced.clear();
    press(CParvexPanel::ID_CLEAR_SAMPLES);
    EXPECT_EQ(m_panel->getPositiveSampler().getTrainingSet().getSize(), 0u);
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 0u);
    EXPECT_EQ(m_panel->getMarkingMode(), CParvexPanel::MARK_NONE);
    EXPECT_FALSE(control<wxToggleButton>(CParvexPanel::ID_MARK_NEGATIVE)->GetValue());
    EXPECT_EQ(m_host->getLabelCounts().at(0), 216);
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{501, 0}}));
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(m_host->getLabelCounts().at(4), 216);
}

namespace {

// Labels of every voxel, z outermost.
std::vector<int> allLabels(velmora::CHostData& host, int x, int y, int z)
{
    std::vector<int> labels;
    for (int k = 0; k < z; ++k)
        for (int j = 0; j < y; ++j)
            for (int i = 0; i < x; ++i)
                labels.push_back(host.getLabel(i, j, k));
    return labels;
}

// The labels of slice z of `all` (x by y voxels a slice).
std::vector<int> sliceOf(const std::vector<int>& all, int x, int y, int z)
{
    return std::vector<int>(all.begin() + std::ptrdiff_t(z) * x * y, all.begin() + std::ptrdiff_t(z + 1) * x * y);
}

} // namespace

TEST_F(ParvexPanelTest, PreviewRelabelsOnlyTheCurrentSliceAndEachUndoTakesBackOneStroke)
{
    // Densities 100 * x + 10 * y + z - 1024: x says which stroke a voxel resembles.
    const int X = 8, Y = 8, Z = 6;
    load(X, Y, Z);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(4);
        regions->show(false);
        data::CObjectPtr<data::COrthoSliceXY> slice(m_storage->getEntry(velmora::ENTRY_ORTHO_SLICE_XY, 3));
        slice->setPosition(2);
    }
    const std::vector<int> start = allLabels(*m_host, X, Y, Z);
    std::vector<std::vector<int>> afterStroke;

    press(CParvexPanel::ID_MARK_POSITIVE);
    m_storage->announced.clear();
    stroke({{6, 3, 2}, {7, 4, 2}});
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{501, 0}}));
    afterStroke.push_back(allLabels(*m_host, X, Y, Z));
    EXPECT_EQ(undoCount(), 1u);
    press(CParvexPanel::ID_MARK_NEGATIVE);
    stroke({{1, 3, 2}, {2, 5, 2}});
    afterStroke.push_back(allLabels(*m_host, X, Y, Z));
    EXPECT_EQ(undoCount(), 2u);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        EXPECT_TRUE(regions->isShown());
    }
    for (const std::vector<int>& labels : afterStroke)
        for (int z = 0; z < Z; ++z)
        {
            if (z != 2)
                EXPECT_EQ(sliceOf(labels, X, Y, z), sliceOf(start, X, Y, z)) << z; // other slices keep theirs
            else
                for (int label : sliceOf(labels, X, Y, z))
                    EXPECT_TRUE(label == 0 || label == 1);
        }
    // With both models the slice splits at the densities between the strokes.
    EXPECT_EQ(m_host->getLabel(7, 0, 2), 1);
    EXPECT_EQ(m_host->getLabel(0, 0, 2), 0);

    // A stroke that adds no samples previews the same labels and records nothing.
    stroke({});
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), afterStroke.back());
    EXPECT_EQ(undoCount(), 2u);

    // A suppressed slice is left alone; with the preview off nothing is segmented.
    {
        data::CObjectPtr<data::COrthoSliceXY> slice(m_storage->getEntry(velmora::ENTRY_ORTHO_SLICE_XY, 3));
        slice->setSliceOperationSuppressed(true);
        slice->setPosition(4);
    }
    stroke({{5, 5, 4}});
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), afterStroke.back());
    EXPECT_EQ(undoCount(), 2u);
    {
        data::CObjectPtr<data::COrthoSliceXY> slice(m_storage->getEntry(velmora::ENTRY_ORTHO_SLICE_XY, 3));
        slice->setSliceOperationSuppressed(false);
    }
    press(CParvexPanel::ID_PREVIEW_MODE);
    stroke({{5, 5, 4}});
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), afterStroke.back());
    EXPECT_EQ(m_panel->getNegativeSampler().getTrainingSet().getSize(), 28u);

    // Each Undo brings the slice back as it was before one stroke.
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), afterStroke.front());
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), start);
    EXPECT_FALSE(m_host->undo());
    ASSERT_TRUE(m_host->redo());
    EXPECT_EQ(allLabels(*m_host, X, Y, Z), afterStroke.front());
}

TEST_F(ParvexPanelTest, GmmSegmentationLabelsTheWholeVolumeWithOneUndoStep)
{
    const int X = 8, Y = 6, Z = 5;
    load(X, Y, Z);
    press(CParvexPanel::ID_PREVIEW_MODE); // no previews: only the command writes
    press(CParvexPanel::ID_MARK_POSITIVE);
    stroke({{6, 2, 2}, {6, 3, 2}, {7, 2, 3}});
    press(CParvexPanel::ID_MARK_NEGATIVE);
    stroke({{1, 2, 2}, {1, 3, 3}});
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(3);
    }
    EXPECT_EQ(undoCount(), 0u);
    m_storage->announced.clear();
    press(CParvexPanel::ID_PERFORM_GMM);
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{501, 0}}));
    EXPECT_EQ(undoCount(), 1u);
    const auto counts = m_host->getLabelCounts();
    EXPECT_EQ(counts.count(3), 0u);
    EXPECT_EQ(counts.at(0) + counts.at(1), X * Y * Z);
    // Labels follow the density: x = 7 is like the positive strokes everywhere, x = 0 not.
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
        {
            EXPECT_EQ(label(7, y, z), 1);
            EXPECT_EQ(label(0, y, z), 0);
        }
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(m_host->getLabelCounts().at(3), X * Y * Z);

    // No samples: every voxel 0.
    press(CParvexPanel::ID_CLEAR_SAMPLES);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(3);
    }
    press(CParvexPanel::ID_PERFORM_GMM);
    EXPECT_EQ(m_host->getLabelCounts(), (std::map<int, std::int64_t>{{0, X * Y * Z}}));
}

TEST_F(ParvexPanelTest, FcmLabelsEveryVoxelAndGrowsTheColourTableToTheTriedCount)
{
    // Three populations: air, soft tissue, bone.
    const int X = 10, Y = 8, Z = 6;
    std::map<std::array<int, 3>, std::int16_t> densities;
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x)
                densities[{x, y, z}] = static_cast<std::int16_t>(x < 3 ? -1000 + y : x < 7 ? 40 + z : 1200 + y + z);
    load(X, Y, Z, densities);
    auto* regionsSpin = control<wxSpinCtrl>(CParvexPanel::ID_FCM_REGIONS);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->fill(9);
        regions->show(false);
    }

    // One region: every voxel 1, one undo step back to the old labels.
    regionsSpin->SetValue(1);
    m_storage->announced.clear();
    press(CParvexPanel::ID_PERFORM_FCM);
    EXPECT_EQ(m_host->getLabelCounts(), (std::map<int, std::int64_t>{{1, X * Y * Z}}));
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{501, 0}})); // ten colours suffice
    EXPECT_EQ(undoCount(), 1u);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        EXPECT_TRUE(regions->isShown());
    }
    ASSERT_TRUE(m_host->undo());
    EXPECT_EQ(m_host->getLabelCounts().at(9), X * Y * Z);

    // Automatic, on one, two and three populations (x < 3 air, x < 7 soft tissue, the rest
    // bone), the colour table cut to one entry first: it grows to the tried count + 1.
    for (int populations : {1, 2, 3})
    {
        std::map<std::array<int, 3>, std::int16_t> mixed;
        for (const auto& [at, value] : densities)
            mixed[at] = populations == 1 ? static_cast<std::int16_t>(40 + at[2])
                        : populations == 2 && at[0] >= 3 && at[0] < 7 ? static_cast<std::int16_t>(1200 + at[2])
                                                                       : value;
        load(X, Y, Z, mixed);
        {
            data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
            regions->fill(9);
            data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
            coloring->resize(1, false);
        }
        regionsSpin->SetValue(0);
        m_storage->announced.clear();
        press(CParvexPanel::ID_PERFORM_FCM);
        const auto counts = m_host->getLabelCounts();
        EXPECT_EQ(counts.count(0), 0u) << populations;
        EXPECT_EQ(counts.count(9), 0u) << populations;
        EXPECT_TRUE(populations == 1 || label(0, 0, 0) != label(9, 0, 0)) << populations; // air and bone apart
        int largest = 0;
        for (const auto& entry : counts)
            largest = std::max(largest, entry.first);
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        EXPECT_GE(coloring->getCount(), largest + 2) << populations;
        // The same run on the side gives the count the table was sized from.
        data::CObjectPtr<data::CActiveDataSet> dataSet(m_storage->getEntry(velmora::ENTRY_ACTIVE_DATA_SET, 3));
        data::CObjectPtr<data::CDensityData> density(m_storage->getEntry(dataSet->getDataSetId(), 3));
        data::CRegionData copy(X, Y, Z);
        seg::CASVolumeFCM fcm(0, 1.5);
        fcm.run(*density, copy);
        EXPECT_EQ(coloring->getCount(), fcm.getClusterCount() + 1) << populations;
        EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{502, 0}, {501, 0}})) << populations;
    }

    // A region volume of another size is first made the density volume's size.
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->resize(3, 4, 5, 1);
    }
    regionsSpin->SetValue(2);
    press(CParvexPanel::ID_PERFORM_FCM);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        EXPECT_EQ(regions->getXSize(), X);
        EXPECT_EQ(regions->getYSize(), Y);
        EXPECT_EQ(regions->getZSize(), Z);
        EXPECT_EQ(regions->getMargin(), 0);
    }
    EXPECT_EQ(m_host->getLabelCounts().count(0), 0u);
}

TEST(ParvexInterfaceTest, PreConnectBinds18ConnectBinds17AndBothStopTheCommand)
{
    kvo::base::CRefPtr<plug::CGuiAdapter> adapter(new plug::CGuiAdapter);
    adapter->idBase = 20000;
    parvex::CParvexInterface pluginInterface(0);
    pluginInterface.setAdapter(adapter.get());
    // Handled, not skipped, and stopped from travelling any further.
    auto stops = [&](int offset) {
        wxCommandEvent command(wxEVT_MENU, 20000 + offset);
        const bool processed = pluginInterface.ProcessEvent(command);
        return processed && !command.GetSkipped() && !command.ShouldPropagate();
    };
    EXPECT_FALSE(stops(17));
    EXPECT_FALSE(stops(18));
    ASSERT_TRUE(pluginInterface.preConnect(nullptr));
    EXPECT_FALSE(stops(17));
    EXPECT_TRUE(stops(18));
    ASSERT_TRUE(pluginInterface.connect(nullptr));
    EXPECT_TRUE(stops(17));
    EXPECT_TRUE(stops(18));
    ASSERT_TRUE(pluginInterface.postConnect(nullptr));
    for (int offset : {1, 4, 5, 16, 19})
        EXPECT_FALSE(stops(offset)) << offset;
}
