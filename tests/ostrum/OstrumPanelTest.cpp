// The Ostrum panel in-process under a running wxWidgets application, on a storage set up as
// the host sets it up: controls as built, "Run MC" into the model entry with its progress
// window and cancel, the count fields following the model, and "Save Model" from the button
// and from the menu, including saves that fail or are cancelled.

#include "OstrumFiles.h"

#include "data/CDataStorage.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "host/CHostData.h"
#include "plug/CAppSceneHub.h"
#include "plug/CDialogService.h"
#include "plugins/ostrum/COstrumInterface.h"
#include "plugins/ostrum/COstrumMenu.h"
#include "plugins/ostrum/COstrumPanel.h"
#include "vctl/MCTriS.h"

#include "tests/support/CPanelFixture.h"
#include "tests/support/CRecordingStorage.h"
#include "tests/support/CTestProgress.h"

#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

namespace {

using ostrum::COstrumPanel;
namespace fs = std::filesystem;

constexpr int ID_BASE = 6000;

// File selectors are answered from a queue (an empty answer cancels); an unexpected one
// fails the test. Everything asked is logged.
class CTestDialogs : public plug::CDialogService
{
public:
    bool cancelNextProgress = false;
    std::deque<std::string> files;
    std::vector<std::string> log;
    wxString extension, wildcard;
    int fileFlags = 0;

    int confirm(const wxString& message, const wxString&, long) override
    {
        ADD_FAILURE() << "unexpected confirmation " << message.utf8_string();
        return wxNO;
    }
    void showMessage(const wxString& message, const wxString& caption, long style) override
    {
        log.push_back("message " + caption.utf8_string() + ": " + message.utf8_string() +
                      ((style & wxICON_ERROR) ? " (error icon)" : ""));
    }
    wxString selectFile(const wxString& message, const wxString& defaultPath, const wxString& defaultFile,
                        const wxString& ext, const wxString& filter, int flags) override
    {
        log.push_back("file " + message.utf8_string());
        EXPECT_TRUE(defaultPath.empty());
        EXPECT_TRUE(defaultFile.empty());
        extension = ext;
        wildcard = filter;
        fileFlags = flags;
        if (files.empty())
        {
            ADD_FAILURE() << "unanswered file selector";
            return wxString();
        }
        const std::string answer = files.front();
        files.pop_front();
        return wxString::FromUTF8(answer);
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

class OstrumPanelTest : public CPanelFixture<COstrumPanel>
{
protected:
    void SetUp() override
    {
        openPanel(m_dialogs, ID_BASE);
        m_folder = ostrumtest::scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // A data set of the given size and spacing (all labels 0) whose listed voxels then get
    // `label`; `active` becomes the active region.
    void load(int x, int y, int z, const std::vector<std::array<int, 3>>& voxels, int label, int active,
              double dx = 1.0, double dy = 1.0, double dz = 1.0)
    {
        velmora::import::CLoadedVolume volume;
        volume.xSize = x;
        volume.ySize = y;
        volume.zSize = z;
        volume.dx = dx;
        volume.dy = dy;
        volume.dz = dz;
        volume.voxels.assign(volume.voxelCount(), 0);
        m_host->loadDataSet(volume);
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        for (const auto& v : voxels)
            regions->at(v[0], v[1], v[2]) = static_cast<std::uint16_t>(label);
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        ASSERT_TRUE(coloring->setActive(active));
    }

    void setActive(int active)
    {
        data::CObjectPtr<data::CRegionColoring> coloring(m_storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        ASSERT_TRUE(coloring->setActive(active));
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
        wxCommandEvent event(wxEVT_BUTTON, window->GetId());
        event.SetEventObject(window);
        window->ProcessWindowEvent(event);
    }

    std::string field(int offset) { return control<wxTextCtrl>(offset)->GetValue().utf8_string(); }

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

    // Puts a mesh of one triangle into the model and announces it.
    void setOneTriangleModel()
    {
        auto* mesh = new vctl::MCTriS;
        mesh->addTri(mesh->getVertices().addVertex(0, 0, 0), mesh->getVertices().addVertex(1, 0, 0),
                     mesh->getVertices().addVertex(0, 1, 0));
        const data::CEntryPtr entry = m_storage->getEntry(velmora::ENTRY_MODEL, 3);
        {
            data::CObjectPtr<data::CModel> model(entry);
            model->setMesh(mesh);
        }
        m_storage->invalidate(entry.get(), 0);
    }

    CTestDialogs m_dialogs;
    fs::path m_folder;
};

} // namespace

TEST_F(OstrumPanelTest, ControlsLabelsTooltipsDefaultsAndGroups)
{
    struct CButton
    {
        int offset;
        const char* label;
        const char* tip;
    };
    const CButton buttons[] = {
        {26, "Run MC", "Creates surface model from the active segmentation layer/region."},
        {36, "Reduce Small Areas", "Filtering of small isolated parts of the model."},
        {46, "Run Smoothing", "Smoothing of the model."},
        {56, "Run Decimation", "Decimate the model by removing unecessary details."},
        {76, "RUN ALL", ""},
        {96, "Save Model", "Saves the surface model."}};
    for (const CButton& button : buttons)
    {
        auto* window = control<wxButton>(button.offset);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->GetLabelText(), button.label);
        EXPECT_EQ(window->GetToolTipText(), button.tip) << button.label;
        EXPECT_TRUE(window->IsEnabled());
    }
    EXPECT_EQ(control<wxCheckBox>(27)->GetLabelText(), "Flow reduction");
    EXPECT_TRUE(control<wxCheckBox>(27)->GetValue());
    EXPECT_EQ(control<wxCheckBox>(28)->GetLabelText(), "Create");
    EXPECT_TRUE(control<wxCheckBox>(28)->GetValue());

    struct CField
    {
        int offset;
        const char* label;
        const char* initial;
        int maxLength; // 0: unlimited
        bool readOnly;
    };
    const CField fields[] = {{37, "Small area treshold", "500", 5, false},
                             {47, "Parameter 1", "0.6073", 10, false},
                             {48, "Parameter 2", "0.1", 10, false},
                             {49, "Number of iterations", "5", 0, false},
                             {57, "End triangles count", "100000", 10, false},
                             {87, "Triangles count", "0", 0, true},
                             {88, "Nodes count", "0", 0, true}};
    for (const CField& expected : fields)
    {
        auto* text = control<wxTextCtrl>(expected.offset);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->GetValue(), expected.initial) << expected.label;
        EXPECT_EQ(!text->IsEditable(), expected.readOnly) << expected.label;
        EXPECT_EQ(!text->IsEnabled(), expected.readOnly) << expected.label;
        // The label precedes its field in the row.
        wxSizer* row = text->GetContainingSizer();
        ASSERT_NE(row, nullptr);
        auto* label = dynamic_cast<wxStaticText*>(row->GetItem(std::size_t(0))->GetWindow());
        ASSERT_NE(label, nullptr) << expected.label;
        EXPECT_EQ(label->GetLabelText(), expected.label);
        if (expected.maxLength > 0)
        {
            // Typing past the limit adds nothing.
            text->Clear();
            for (int typed = 0; typed < expected.maxLength + 3; ++typed)
                text->WriteText("7");
            EXPECT_EQ(text->GetValue().length(), std::size_t(expected.maxLength)) << expected.label;
        }
    }
    // The buttons share the rows of their fields: the iterations row and the node-count row.
    EXPECT_EQ(control<wxButton>(46)->GetContainingSizer(), control<wxTextCtrl>(49)->GetContainingSizer());
    EXPECT_EQ(control<wxButton>(56)->GetContainingSizer(), control<wxTextCtrl>(57)->GetContainingSizer());
    EXPECT_EQ(control<wxButton>(96)->GetContainingSizer(), control<wxTextCtrl>(88)->GetContainingSizer());
    EXPECT_EQ(control<wxButton>(36)->GetContainingSizer(), control<wxTextCtrl>(37)->GetContainingSizer());

    // Four groups, RUN ALL centred, then the model group.
    std::vector<std::string> items;
    for (wxSizerItem* item : m_panel->GetSizer()->GetChildren())
    {
        if (auto* group = dynamic_cast<wxStaticBoxSizer*>(item->GetSizer()))
            items.push_back(group->GetStaticBox()->GetLabelText().utf8_string());
        else if (auto* button = dynamic_cast<wxButton*>(item->GetWindow()))
        {
            items.push_back(button->GetLabelText().utf8_string());
            EXPECT_TRUE(item->GetFlag() & wxALIGN_CENTER_HORIZONTAL);
        }
    }
    EXPECT_EQ(items, (std::vector<std::string>{"Marching Cubes", "Small Areas Reduction", "Smoothing", "Decimation",
                                               "RUN ALL", "Model"}));

    // The interface makes this panel and a menu with "Save Model" after the standard items.
    ostrum::COstrumInterface pluginInterface(0);
    EXPECT_EQ(pluginInterface.createToolbar(m_adapter.get()), nullptr);
    auto* menu = pluginInterface.createMenu(m_adapter.get());
    ASSERT_NE(dynamic_cast<ostrum::COstrumMenu*>(menu), nullptr);
    EXPECT_TRUE(menu->createItems());
    ASSERT_EQ(menu->GetMenuItemCount(), 4u);
    EXPECT_TRUE(menu->FindItemByPosition(2)->IsSeparator());
    wxMenuItem* save = menu->FindItemByPosition(3);
    EXPECT_EQ(save->GetId(), ID_BASE + 18);
    EXPECT_EQ(save->GetItemLabelText(), "Save Model");
    EXPECT_EQ(save->GetHelp(), "Saves the surface model.");
    delete menu;
    auto* panel = pluginInterface.createPanel(m_adapter.get());
    EXPECT_NE(dynamic_cast<COstrumPanel*>(panel), nullptr);
    delete panel;
}

TEST_F(OstrumPanelTest, RunMcPutsTheActiveRegionsSurfaceIntoTheModelAndTheCountersFollow)
{
    // A single voxel of region 3 among voxels of region 2; voxel sizes that single
    // precision cannot hold exactly.
    load(5, 4, 3, {{2, 1, 1}}, 3, 3, 0.1, 0.3, 1.7);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->at(0, 0, 0) = 2;
        regions->at(4, 3, 2) = 2;
    }
    m_storage->announced.clear();
    m_dialogs.log.clear();
    press(COstrumPanel::ID_RUN_MC);

    // Progress: one report per slice layer (Z + 1 of them, out of Z), closed at the end;
    // then the flat-area step ("Flow reduction" is on) in its own window, one quality report
    // per triangle of the 8 (out of 1000).
    EXPECT_EQ(m_dialogs.log,
              (std::vector<std::string>{"progress Creating model, please wait... 100", "shown", "report 1/3",
                                        "report 2/3", "report 3/3", "report 4/3", "closed",
                                        "progress Reducing model flat areas, please wait... 100", "shown",
                                        "report 1/1000", "report 2/1000", "report 3/1000", "report 4/1000",
                                        "report 5/1000", "report 6/1000", "report 7/1000", "report 8/1000",
                                        "closed"}));
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{801, 0}}));
    vctl::MCTriS* mesh = modelMesh();
    ASSERT_NE(mesh, nullptr);
    // The octahedron around voxel (2, 1, 1): each vertex half a voxel from its centre, in
    // the voxel sizes rounded to single precision.
    EXPECT_EQ(mesh->getNumOfTris(), 8);
    EXPECT_EQ(mesh->getNumOfVertices(), 6);
    const double dx = static_cast<float>(0.1), dy = static_cast<float>(0.3), dz = static_cast<float>(1.7);
    std::vector<std::array<double, 3>> positions;
    for (const vctl::MCVertex* v = mesh->getVertices().getFirst(); v; v = v->getNext())
        positions.push_back({v->getX(), v->getY(), v->getZ()});
    const std::vector<std::array<double, 3>> expected = {
        {2 * dx, 1.5 * dy, 1.5 * dz}, {3 * dx, 1.5 * dy, 1.5 * dz}, {2.5 * dx, 1 * dy, 1.5 * dz},
        {2.5 * dx, 2 * dy, 1.5 * dz}, {2.5 * dx, 1.5 * dy, 1 * dz}, {2.5 * dx, 1.5 * dy, 2 * dz}};
    for (const auto& position : expected)
        EXPECT_NE(std::find(positions.begin(), positions.end(), position), positions.end())
            << position[0] << " " << position[1] << " " << position[2];
    EXPECT_EQ(modelFlag(), 1);
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), "8");
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), "6");

    // Region 2 (two corner voxels, apart): two octahedra; the new mesh replaces the old.
    setActive(2);
    EXPECT_TRUE(m_panel->createModel());
    ASSERT_NE(modelMesh(), nullptr);
    EXPECT_EQ(modelMesh()->getNumOfTris(), 16);
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), "16");
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), "12");

    // A region that no voxel carries: an empty mesh, stored and announced all the same.
    setActive(7);
    m_storage->announced.clear();
    EXPECT_TRUE(m_panel->createModel());
    ASSERT_NE(modelMesh(), nullptr);
    EXPECT_EQ(modelMesh()->getNumOfTris(), 0);
    EXPECT_EQ(modelMesh()->getNumOfVertices(), 0);
    EXPECT_EQ(m_storage->announced, (std::vector<std::pair<int, int>>{{801, 0}}));
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), "0");
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), "0");
    // ... which "Save Model" refuses without asking for a file.
    m_dialogs.log.clear();
    EXPECT_FALSE(m_panel->saveModel());
    EXPECT_TRUE(m_dialogs.log.empty());

    // The counters follow any change of the model, also one that removes the mesh.
    setOneTriangleModel();
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), "1");
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), "3");
    const data::CEntryPtr entry = m_storage->getEntry(velmora::ENTRY_MODEL, 3);
    {
        data::CObjectPtr<data::CModel> model(entry);
        model->setMesh(nullptr);
    }
    m_storage->invalidate(entry.get(), 0);
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), "0");
    EXPECT_EQ(field(COstrumPanel::ID_NODES_COUNT), "0");
}

TEST_F(OstrumPanelTest, CancelledRunMcLeavesThePreviousModel)
{
    load(6, 6, 6, {{1, 1, 1}, {2, 1, 1}, {2, 2, 1}}, 1, 1);
    // The raw extraction, to compare with the extractor's own run below.
    control<wxCheckBox>(COstrumPanel::ID_FLOW_REDUCTION)->SetValue(false);
    ASSERT_TRUE(m_panel->createModel());
    vctl::MCTriS* before = modelMesh();
    ASSERT_NE(before, nullptr);
    const int triangles = before->getNumOfTris();
    ASSERT_GT(triangles, 0);

    // The label set changes, the run is cancelled at its first report.
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->at(4, 4, 4) = 1;
    }
    m_dialogs.cancelNextProgress = true;
    m_dialogs.log.clear();
    m_storage->announced.clear();
    press(COstrumPanel::ID_RUN_MC);
    EXPECT_EQ(m_dialogs.log.back(), "closed");
    EXPECT_EQ(std::count(m_dialogs.log.begin(), m_dialogs.log.end(), "report 1/6"), 1);
    EXPECT_TRUE(m_storage->announced.empty());
    EXPECT_EQ(modelMesh(), before);
    EXPECT_EQ(modelMesh()->getNumOfTris(), triangles);
    EXPECT_EQ(field(COstrumPanel::ID_TRIANGLES_COUNT), std::to_string(triangles));

    // The extractor does not keep the closed window as its callback: a run of its own
    // goes to the end.
    vctl::MCTriS own;
    data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
    EXPECT_TRUE(m_panel->getMarchingCubes().extract(&own, 1, *regions));
    EXPECT_EQ(own.getNumOfTris(), triangles + 8);
}

TEST_F(OstrumPanelTest, SaveModelWritesBinaryStlFromButtonAndMenu)
{
    load(6, 5, 4, {{1, 1, 1}, {2, 1, 1}, {2, 2, 1}, {2, 2, 2}}, 1, 1);
    ASSERT_TRUE(m_panel->createModel());
    const int triangles = modelMesh()->getNumOfTris();
    const fs::path target = m_folder / "model.stl";

    m_dialogs.files.push_back(target.string());
    m_dialogs.log.clear();
    press(COstrumPanel::ID_SAVE_MODEL);
    EXPECT_EQ(m_dialogs.log, (std::vector<std::string>{"file Please, specify an output file..."}));
    EXPECT_EQ(m_dialogs.extension, "stl");
    EXPECT_EQ(m_dialogs.wildcard, "Stereo litography model (*.stl) |*.stl|All Files (*.*) |*.*");
    EXPECT_EQ(m_dialogs.fileFlags, wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    const std::string bytes = ostrumtest::readBytes(target);
    ASSERT_EQ(bytes.size(), 84u + 50u * triangles);
    EXPECT_EQ(bytes.substr(0, 80),
              std::string("Binary STL file created by conversion of TRI file format, Kvorn::Gravonelle library")
                  .substr(0, 80));
    EXPECT_EQ(ostrumtest::littleEndian32(bytes, 80), static_cast<std::uint32_t>(triangles));
    EXPECT_EQ(ostrumtest::filesIn(m_folder), (std::vector<std::string>{"model.stl"}));

    // Saving again over the file keeps its permission bits; the menu item saves as well.
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    {
        data::CObjectPtr<data::CRegionData> regions(m_storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->at(4, 3, 2) = 1;
    }
    ASSERT_TRUE(m_panel->createModel());
    ostrum::COstrumInterface pluginInterface(0);
    pluginInterface.setAdapter(m_adapter.get());
    pluginInterface.setBindings(m_bindings.get());
    ASSERT_TRUE(pluginInterface.connect(nullptr));
    m_dialogs.files.push_back(target.string());
    wxCommandEvent menuEvent(wxEVT_MENU, ID_BASE + ostrum::COstrumMenu::ID_SAVE_MODEL);
    pluginInterface.ProcessEvent(menuEvent);
    EXPECT_TRUE(m_dialogs.files.empty());
    EXPECT_EQ(fs::file_size(target), 84u + 50u * (triangles + 8));
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(ostrumtest::filesIn(m_folder), (std::vector<std::string>{"model.stl"}));

    // A cancelled file selector writes nothing and says nothing.
    m_dialogs.files.push_back("");
    m_dialogs.log.clear();
    EXPECT_FALSE(m_panel->saveModel());
    EXPECT_EQ(m_dialogs.log, (std::vector<std::string>{"file Please, specify an output file..."}));
    EXPECT_EQ(ostrumtest::filesIn(m_folder), (std::vector<std::string>{"model.stl"}));
}

TEST_F(OstrumPanelTest, FailedSaveReportsAndLeavesTheFolderAsItWas)
{
    load(4, 4, 4, {{1, 1, 1}}, 1, 1);
    ASSERT_TRUE(m_panel->createModel());
    const std::string error = "message Error: Failed to save the model! (error icon)";

    // A target that is a folder.
    const fs::path folderTarget = m_folder / "taken.stl";
    fs::create_directory(folderTarget);
    m_dialogs.files.push_back(folderTarget.string());
    m_dialogs.log.clear();
    EXPECT_FALSE(m_panel->saveModel());
    EXPECT_EQ(m_dialogs.log.back(), error);
    EXPECT_TRUE(fs::is_directory(folderTarget));
    EXPECT_TRUE(fs::is_empty(folderTarget));

    // A folder that does not exist.
    m_dialogs.files.push_back((m_folder / "missing" / "model.stl").string());
    m_dialogs.log.clear();
    EXPECT_FALSE(m_panel->saveModel());
    EXPECT_EQ(m_dialogs.log.back(), error);
    EXPECT_EQ(ostrumtest::filesIn(m_folder), (std::vector<std::string>{"taken.stl"}));

    // The disk refuses the data half-way (the file size limit stands in for a full disk):
    // the previous file stays byte for byte.
    const fs::path target = m_folder / "model.stl";
    const std::string previous = "previous contents of the model file";
    ostrumtest::writeBytes(target, previous);
    {
        ostrumtest::CFileSizeLimit limit(100);
        m_dialogs.files.push_back(target.string());
        m_dialogs.log.clear();
        EXPECT_FALSE(m_panel->saveModel());
    }
    EXPECT_EQ(m_dialogs.log.back(), error);
    EXPECT_EQ(ostrumtest::readBytes(target), previous);
    EXPECT_EQ(ostrumtest::filesIn(m_folder), (std::vector<std::string>{"model.stl", "taken.stl"}));
    // Without the limit the same save goes through.
    m_dialogs.files.push_back(target.string());
    EXPECT_TRUE(m_panel->saveModel());
    EXPECT_EQ(fs::file_size(target), 84u + 50u * 8u);
}
