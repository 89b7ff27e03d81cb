// The Tolvane panel, grid, renderer and menu in a running wx application (under Xvfb):
// controls found by identifier and driven by their events, the grid following the
// colouring entry whoever changes it, and the confirmations and colour chooser answered
// by a queued dialog service.

#include "CQueuedDialogs.h"
#include "TolvaneFixture.h"

#include "plugins/tolvane/CCheckMarkRenderer.h"
#include "plugins/tolvane/CRegionColourRenderer.h"
#include "plugins/tolvane/CRegionGridTable.h"
#include "plugins/tolvane/CTolvaneInterface.h"
#include "plugins/tolvane/CTolvaneMenu.h"
#include "plugins/tolvane/CTolvanePanel.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/grid.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/utils.h>

using tolvane::CRegionGridTable;
using tolvane::CTolvanePanel;
using tolvane::testing::CQueuedDialogs;
using tolvane::testing::CTolvaneFixture;

namespace {

constexpr int ID_BASE = 3000;
using tLabels = std::vector<std::uint16_t>;
using tColor = data::CRegionColoring::CColor;

class TolvanePanelTest : public ::testing::Test, public CTolvaneFixture
{
protected:
    TolvanePanelTest()
    {
        adapter->idBase = ID_BASE;
        hub.setDialogService(&dialogs);
        load(3, 2, 2);
        panel = new CTolvanePanel(adapter.get());
        panel->setBindings(&bindings);
        EXPECT_TRUE(panel->prepare());
        EXPECT_TRUE(panel->connect());
        grid = panel->getGrid();
        table = dynamic_cast<CRegionGridTable*>(grid->GetTable());
    }
    ~TolvanePanelTest() override
    {
        if (panel)
            panel->Destroy();
        EXPECT_TRUE(dialogs.yesNo.empty());
        EXPECT_TRUE(dialogs.colours.empty());
    }

    wxWindow* control(int offset) { return panel->FindWindow(ID_BASE + offset); }

    void press(int offset)
    {
        auto* button = dynamic_cast<wxButton*>(control(offset));
        ASSERT_NE(button, nullptr) << offset;
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    }

    //! True when the panel handled the double click (not skipped).
    bool doubleClick(int row, int col)
    {
        wxGridEvent event(grid->GetId(), wxEVT_GRID_CELL_LEFT_DCLICK, grid, row, col);
        return grid->ProcessWindowEvent(event);
    }

    kvo::base::CRefPtr<plug::CGuiAdapter> adapter{new plug::CGuiAdapter};
    CQueuedDialogs dialogs;
    CTolvanePanel* panel = nullptr;
    wxGrid* grid = nullptr;
    CRegionGridTable* table = nullptr;
};

} // namespace

TEST_F(TolvanePanelTest, ControlsLabelsTooltipsAndDefaults)
{
    struct CExpected
    {
        int offset;
        const char* label;
        const char* tip;
    };
    const CExpected buttons[] = {
        {27, "Create New", "Creates a new region"},
        {34, "Pick Active", "Allows you to switch the active region by clicking any point in the data."},
        {33, "Join Active", "Please, select a region to joint the active one by clicking the data"},
        {29, "Clear Active", "Sets label of all voxels currently assigned to the active region to zero"},
        {28, "RELABEL", "Removes all unused regions from the list"},
        {31, "RESET", "Removes all regions except default ones and zeros the region data"},
        {37, "Save", "Saves results of the segmentation."},
        {36, "Load", "Loads the segmentation from a file."},
        {38, "Save As...", "Saves results of the segmentation."},
    };
    for (const CExpected& expected : buttons)
    {
        auto* button = dynamic_cast<wxButton*>(control(expected.offset));
        ASSERT_NE(button, nullptr) << expected.label;
        EXPECT_EQ(button->GetLabel(), expected.label);
        EXPECT_EQ(button->GetToolTipText(), expected.tip);
        EXPECT_EQ(dynamic_cast<wxStaticBox*>(button->GetParent())->GetLabel(), "Region Management");
    }
    auto* spin = dynamic_cast<wxSpinCtrl*>(control(30));
    ASSERT_EQ(spin, panel->getRegionCount());
    EXPECT_EQ(spin->GetMin(), 1);
    EXPECT_EQ(spin->GetMax(), 100);
    EXPECT_EQ(spin->GetValue(), 1);
    EXPECT_EQ(spin->GetToolTipText(), "Please, specify a number of regions you want to add.");
    auto* box = dynamic_cast<wxCheckBox*>(control(32));
    ASSERT_EQ(box, panel->getShowRegions());
    EXPECT_EQ(box->GetLabel(), "Show Regions");
    EXPECT_EQ(box->GetToolTipText(), "Enables/Disables visualization of regions");
    EXPECT_TRUE(box->GetValue());
    ASSERT_EQ(control(26), grid);
    EXPECT_EQ(grid->GetToolTipText(), "List of all available regions.");
}

TEST_F(TolvanePanelTest, GridSetUpAndColumnAttributes)
{
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(grid->GetDefaultColSize(), 50);
    EXPECT_EQ(grid->GetDefaultRowSize(), 20);
    EXPECT_EQ(grid->GetColLabelSize(), 20);
    EXPECT_EQ(grid->GetRowLabelSize(), 1);
    EXPECT_FALSE(grid->GridLinesEnabled());
    EXPECT_EQ(grid->GetNumberRows(), 10);
    ASSERT_EQ(grid->GetNumberCols(), 5);
    const char* labels[] = {"Id", "Active", "Color", "Name", "Visible"};
    for (int col = 0; col < 5; ++col)
        EXPECT_EQ(grid->GetColLabelValue(col), labels[col]);
    EXPECT_TRUE(table->GetRowLabelValue(3).empty());
    EXPECT_TRUE(table->GetColLabelValue(5).empty());

    EXPECT_TRUE(grid->IsReadOnly(2, 0));
    EXPECT_TRUE(grid->IsReadOnly(2, 1));
    EXPECT_TRUE(grid->IsReadOnly(2, 2));
    EXPECT_FALSE(grid->IsReadOnly(2, 3));
    EXPECT_TRUE(grid->IsReadOnly(2, 4));

    wxGridCellRenderer* renderer = grid->GetCellRenderer(2, 2);
    EXPECT_NE(dynamic_cast<tolvane::CRegionColourRenderer*>(renderer), nullptr);
    renderer->DecRef();
    for (int col : {1, 4})
    {
        wxGridCellRenderer* checkMarks = grid->GetCellRenderer(2, col);
        EXPECT_NE(dynamic_cast<tolvane::CCheckMarkRenderer*>(checkMarks), nullptr) << col;
        checkMarks->DecRef();
        wxGridCellEditor* editor = grid->GetCellEditor(2, col);
        EXPECT_NE(dynamic_cast<wxGridCellBoolEditor*>(editor), nullptr) << col;
        editor->DecRef();
    }
    wxGridCellEditor* nameEditor = grid->GetCellEditor(2, 3);
    EXPECT_NE(dynamic_cast<wxGridCellTextEditor*>(nameEditor), nullptr);
    nameEditor->DecRef();
    EXPECT_EQ(grid->GetCellTextColour(2, 1), wxColour(128, 128, 128));

    int horizontal = 0, vertical = 0;
    grid->GetCellAlignment(2, 0, &horizontal, &vertical);
    EXPECT_EQ(horizontal, wxALIGN_CENTRE);
    EXPECT_EQ(vertical, wxALIGN_CENTRE);
    grid->GetCellAlignment(2, 2, &horizontal, &vertical);
    EXPECT_EQ(horizontal, wxALIGN_LEFT);
    EXPECT_EQ(vertical, wxALIGN_CENTRE);
}

TEST_F(TolvanePanelTest, TableValuesAndTypes)
{
    EXPECT_EQ(table->GetValue(1, 1), "1");
    EXPECT_EQ(table->GetValue(2, 1), "0");
    EXPECT_EQ(table->GetValue(1, 2), "rgb(255,128,128)");
    EXPECT_EQ(table->GetValue(0, 2), "rgb(0,0,0)");
    EXPECT_EQ(table->GetValue(0, 3), "Not classified");
    EXPECT_EQ(table->GetValue(7, 0), "7");
    EXPECT_EQ(table->GetValue(7, 4), "1");
    EXPECT_EQ(table->GetValue(1, 7), "Item(1;7)");
    EXPECT_TRUE(table->GetValueAsBool(1, 1));
    EXPECT_FALSE(table->GetValueAsBool(2, 1));
    EXPECT_TRUE(table->GetValueAsBool(50, 4)); // beyond the table: the fallback entry
    EXPECT_FALSE(table->GetValueAsBool(1, 2));

    EXPECT_EQ(table->GetTypeName(0, 0), "string");
    EXPECT_EQ(table->GetTypeName(0, 1), "bool");
    EXPECT_EQ(table->GetTypeName(0, 3), "string");
    EXPECT_EQ(table->GetTypeName(0, 4), "bool");
    EXPECT_TRUE(table->GetTypeName(0, 5).empty());
    EXPECT_TRUE(table->CanGetValueAs(0, 2, "string"));
    EXPECT_TRUE(table->CanGetValueAs(0, 4, "bool"));
    EXPECT_FALSE(table->CanGetValueAs(0, 3, "bool"));
    EXPECT_FALSE(table->IsEmptyCell(0, 0));
}

TEST_F(TolvanePanelTest, TableWritesChangeTheColouringAndAnnounceIt)
{
    countAnnouncements();
    table->SetValue(3, 1, "0"); // "0" under "Active" changes nothing
    EXPECT_EQ(coloring()->getActive(), 1);
    table->SetValue(3, 1, "x");
    EXPECT_EQ(coloring()->getActive(), 3);
    table->SetValue(12, 1, "1"); // beyond the table
    EXPECT_EQ(coloring()->getActive(), 3);

    table->SetValue(2, 2, "rgb(1,2,3)");
    EXPECT_EQ(coloring()->getColor(2), (tColor{1, 2, 3, 128}));
    table->SetValue(2, 2, "not a colour");
    EXPECT_EQ(coloring()->getColor(2), (tColor{1, 2, 3, 128}));

    const std::string name = "Leber Größe Ωμέγα 肝";
    table->SetValue(4, 3, wxString::FromUTF8(name));
    EXPECT_EQ(coloring()->getName(4), name);
    EXPECT_EQ(table->GetValue(4, 3), wxString::FromUTF8(name));
    EXPECT_EQ(table->GetValue(4, 3).utf8_string(), name);

    table->SetValue(5, 4, "0");
    EXPECT_FALSE(coloring()->isVisible(5));
    table->SetValue(5, 4, "yes");
    EXPECT_TRUE(coloring()->isVisible(5));
    EXPECT_EQ(announcements.counts[502], 8);
    table->SetValue(5, 0, "9"); // "Id" is ignored, not even announced
    EXPECT_EQ(announcements.counts[502], 8);

    table->SetValueAsBool(3, 4, false);
    EXPECT_FALSE(coloring()->isVisible(3));
    EXPECT_EQ(announcements.counts[502], 9); // once
    table->SetValueAsBool(6, 1, true);
    EXPECT_EQ(coloring()->getActive(), 6);
    table->SetValueAsBool(2, 1, false); // does nothing
    table->SetValueAsBool(2, 3, true);
    EXPECT_EQ(coloring()->getActive(), 6);
    EXPECT_EQ(announcements.counts[502], 10);
}

TEST_F(TolvanePanelTest, GridAppendsRowsOnCreateNewAndDeletesThemOnRelabel)
{
    panel->getRegionCount()->SetValue(3);
    press(27);
    EXPECT_EQ(grid->GetNumberRows(), 13);
    EXPECT_EQ(table->getShownRows(), 13);
    EXPECT_EQ(table->GetValue(12, 3), "Unnamed");

    setLabels({0, 3, 0, 7, 7, 3, 0, 0, 3, 0, 12, 0});
    dialogs.yesNo.push_back(true);
    press(28);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0], "Message...: Do you really want to remove all unused regions?");
    EXPECT_EQ(grid->GetNumberRows(), 4);
    EXPECT_EQ(table->GetValue(3, 3), "Unnamed");
    EXPECT_EQ(table->GetValue(1, 3), "Region 3");
    EXPECT_EQ(labels(), (tLabels{0, 1, 0, 2, 2, 1, 0, 0, 1, 0, 3, 0}));
    EXPECT_EQ(table->getShownActive(), 1);

    // A change made elsewhere (another plug-in growing the table) reaches the grid too.
    {
        auto table502 = coloring();
        table502->resize(20, true);
        table502->setActive(17);
        storage->invalidate(table502.getEntry(), 0);
    }
    EXPECT_EQ(grid->GetNumberRows(), 20);
    EXPECT_EQ(table->getShownActive(), 17);
    EXPECT_EQ(table->GetValue(17, 1), "1");
}

TEST_F(TolvanePanelTest, GridRepaintsWhenOnlyNamesColoursOrVisibilityChange)
{
    // Shown on screen, so that invalidated cells arrive as paint events.
    wxWindow* top = wxTheApp->GetTopWindow();
    top->SetSize(600, 800);
    panel->SetSize(top->GetClientSize());
    wxWindow* cells = grid->GetGridWindow();
    int paints = 0;
    wxRect drawn; // what the paints since the last check covered, in the cells' window
    cells->Bind(wxEVT_PAINT, [&paints, &drawn, cells](wxPaintEvent& event) {
        ++paints;
        drawn.Union(cells->GetUpdateRegion().GetBox());
        event.Skip();
    });
    // True once a paint arrived (within a second), counting from zero.
    auto painted = [&paints] {
        for (int i = 0; i < 50 && paints == 0; ++i)
        {
            wxYield();
            wxMilliSleep(20);
        }
        const bool any = paints > 0;
        paints = 0;
        return any;
    };
    painted(); // the first drawing
    // Rows [first, last] of the grid with the lines around them, in the cells' window.
    auto rows = [this](int first, int last) {
        const wxRect upper = grid->CellToRect(first, 0), lower = grid->CellToRect(last, 0);
        return wxRect(0, grid->CalcScrolledPosition(upper.GetTopLeft()).y - 1, grid->GetGridWindow()->GetClientSize().x,
                      lower.GetBottom() - upper.GetTop() + 3);
    };

    // An announcement that changes nothing shown draws nothing (a new data set announces
    // the table as it was); a change to one row draws that row.
    storage->invalidate(coloring().getEntry(), 0);
    EXPECT_FALSE(painted());
    {
        auto table502 = coloring();
        table502->setRGB(6, 1, 2, 3);
        storage->invalidate(table502.getEntry(), 0);
    }
    drawn = wxRect();
    EXPECT_TRUE(painted());
    EXPECT_TRUE(rows(6, 6).Contains(drawn)) << "drawn " << drawn.y << "+" << drawn.height << ", row 6 at "
                                            << rows(6, 6).y << "+" << rows(6, 6).height;
    EXPECT_EQ(grid->GetCellValue(6, 2), "rgb(1,2,3)");

    {
        auto table502 = coloring();
        table502->setName(3, "Liver");
        table502->setVisible(4, false);
        storage->invalidate(table502.getEntry(), 0);
    }
    EXPECT_TRUE(painted());
    EXPECT_EQ(grid->GetCellValue(3, 3), "Liver");

    // "RESET" keeps ten rows and region 1 active, yet every renamed row changes back.
    dialogs.yesNo = {true};
    press(31);
    EXPECT_TRUE(painted());
    EXPECT_EQ(grid->GetCellValue(3, 3), "Region 3");
    EXPECT_EQ(grid->GetCellValue(4, 4), "1");
}

TEST_F(TolvanePanelTest, ConfirmationsAnsweredNoChangeNothing)
{
    const tLabels before{0, 3, 0, 7, 7, 3, 0, 0, 3, 0, 1, 0};
    setLabels(before);
    coloring()->setActive(3);
    dialogs.yesNo = {false, false, false};
    press(28);
    press(31);
    press(29);
    EXPECT_EQ(labels(), before);
    EXPECT_EQ(coloring()->getCount(), 10);
    EXPECT_EQ(coloring()->getActive(), 3);
    ASSERT_EQ(dialogs.asked.size(), 3u);
    EXPECT_EQ(dialogs.asked[1], "Message...: Do you really want to clear results of the segmentation?");
    EXPECT_EQ(dialogs.asked[2], "Message...: Do you really want to clear the active region?");

    dialogs.yesNo = {true};
    press(29);
    EXPECT_EQ(labels(), (tLabels{0, 0, 0, 7, 7, 0, 0, 0, 0, 0, 1, 0}));
    panel->getRegionCount()->SetValue(4);
    press(27);
    dialogs.yesNo = {true};
    press(31);
    EXPECT_EQ(labels(), tLabels(12, 0));
    EXPECT_EQ(coloring()->getCount(), 10);
    EXPECT_EQ(coloring()->getActive(), 1);
    EXPECT_EQ(grid->GetNumberRows(), 10);
}

TEST_F(TolvanePanelTest, CellDoubleClicks)
{
    EXPECT_TRUE(doubleClick(4, 1));
    EXPECT_EQ(coloring()->getActive(), 4);
    EXPECT_TRUE(doubleClick(6, 0));
    EXPECT_EQ(coloring()->getActive(), 6);
    EXPECT_TRUE(doubleClick(2, 4));
    EXPECT_FALSE(coloring()->isVisible(2));
    EXPECT_TRUE(doubleClick(2, 4));
    EXPECT_TRUE(coloring()->isVisible(2));
    EXPECT_FALSE(doubleClick(2, 3)); // names are edited by the grid: passed on

    dialogs.colours = {wxColour(10, 20, 30), std::nullopt};
    EXPECT_TRUE(doubleClick(1, 2));
    EXPECT_EQ(coloring()->getColor(1), (tColor{10, 20, 30, 128}));
    ASSERT_EQ(dialogs.initialColours.size(), 1u);
    EXPECT_EQ(dialogs.initialColours[0], wxColour(255, 128, 128));
    EXPECT_EQ(dialogs.asked.back(), "Please, select a new region color...");
    EXPECT_TRUE(doubleClick(1, 2)); // cancelled
    EXPECT_EQ(coloring()->getColor(1), (tColor{10, 20, 30, 128}));
    EXPECT_EQ(dialogs.initialColours[1], wxColour(10, 20, 30));
}

TEST_F(TolvanePanelTest, PickAndJoinActiveServeOnePickEach)
{
    setLabels({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9});
    press(34);
    EXPECT_EQ(hub.getMode(), CAppSceneHub::MODE_PICK_POINT);
    EXPECT_EQ(panel->getPendingPick(), tolvane::CRegionPickRequest::EAction::PickActive);
    hub.pointPicked.emit(1.0f, 0.0f, 1.0f, 0);
    EXPECT_EQ(coloring()->getActive(), 7);
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
    hub.restoreMode();

    press(34);
    press(33); // replaces the pick
    EXPECT_EQ(hub.pointPicked.getCount(), 1u);
    hub.pointPicked.emit(0.0f, 1.0f, 1.0f, 0); // label 9 joins region 7
    EXPECT_EQ(labels(), (tLabels{0, 1, 2, 3, 4, 5, 6, 7, 8, 7, 7, 7}));
    EXPECT_EQ(coloring()->getActive(), 7);
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(labels(), (tLabels{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9}));

    press(33);
    panel->Destroy(); // a pending pick goes with the panel
    panel = nullptr;
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
    auto table502 = coloring();
    table502->resize(12, true);
    storage->invalidate(table502.getEntry(), 0); // the grid's observer is gone too
}

TEST_F(TolvanePanelTest, ShowRegionsFollowsAndMirrorsTheDisplayFlag)
{
    wxCheckBox* box = panel->getShowRegions();
    box->SetValue(false);
    wxCommandEvent click(wxEVT_CHECKBOX, box->GetId());
    click.SetEventObject(box);
    click.SetInt(0);
    box->ProcessWindowEvent(click);
    EXPECT_FALSE(regions()->isShown());

    regions()->show(true); // changed elsewhere
    box->UpdateWindowUI();
    EXPECT_TRUE(box->GetValue());
    regions()->show(false);
    box->UpdateWindowUI();
    EXPECT_FALSE(box->GetValue());
}

TEST(RegionColourRendererTest, DrawsAFramedSwatchOfTheCellColour)
{
    auto* frame = wxTheApp->GetTopWindow();
    auto* grid = new wxGrid(frame, wxID_ANY);
    grid->CreateGrid(2, 1);
    grid->SetCellValue(0, 0, "rgb(10,200,30)");
    grid->SetCellValue(1, 0, "no colour");
    tolvane::CRegionColourRenderer renderer;
    wxGridCellAttr* attr = grid->GetOrCreateCellAttr(0, 0);

    wxBitmap bitmap(40, 30);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxRED_BRUSH);
    dc.Clear();
    EXPECT_EQ(renderer.GetBestSize(*grid, *attr, dc, 0, 0), wxSize(25, 20));

    auto pixel = [&](int x, int y) {
        wxColour colour;
        dc.GetPixel(x, y, &colour);
        return colour;
    };
    renderer.Draw(*grid, *attr, dc, wxRect(0, 0, 40, 30), 0, 0, false);
    EXPECT_EQ(pixel(2, 2), *wxWHITE);
    EXPECT_EQ(pixel(37, 27), *wxWHITE);
    EXPECT_EQ(pixel(5, 15), *wxBLACK); // the frame, 5 pixels in
    EXPECT_EQ(pixel(20, 15), wxColour(10, 200, 30));
    renderer.Draw(*grid, *attr, dc, wxRect(0, 0, 40, 30), 1, 0, false);
    EXPECT_EQ(pixel(20, 15), *wxBLACK);
    EXPECT_EQ(pixel(2, 2), *wxWHITE);
    dc.SelectObject(wxNullBitmap);
    attr->DecRef();
    grid->Destroy();
}

// The kept pictures give the cell the pixels of the native bool renderer for every state,
// selection, alignment and cell size, whether drawn the first time or from a picture; and
// nothing is drawn outside the cell (the native renderer spills over the edge of a cell too
// small for its box).
TEST(CheckMarkRendererTest, DrawsWhatTheNativeBoolRendererDraws)
{
    auto* frame = wxTheApp->GetTopWindow();
    auto* grid = new wxGrid(frame, wxID_ANY);
    grid->CreateGrid(2, 1);
    grid->SetColFormatBool(0);
    grid->SetCellValue(0, 0, "1");
    grid->SetCellValue(1, 0, "");
    wxGridCellAttr* attr = grid->GetOrCreateCellAttr(0, 0);
    tolvane::CCheckMarkRenderer cached;
    wxGridCellBoolRenderer native;

    const wxRect area(0, 0, 64, 40);
    auto drawn = [&](wxGridCellRenderer& renderer, const wxRect& cell, int row, bool selected) {
        wxBitmap bitmap(area.GetSize(), 24);
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxRED_BRUSH);
        dc.Clear();
        renderer.Draw(*grid, *attr, dc, cell, row, 0, selected);
        dc.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    };
    auto pixels = [](const wxImage& image, const wxRect& part) {
        const wxImage inside = image.GetSubImage(part);
        return std::vector<unsigned char>(inside.GetData(), inside.GetData() + 3 * part.width * part.height);
    };
    const struct
    {
        int horizontal, vertical;
    } alignments[] = {{wxALIGN_CENTRE, wxALIGN_CENTRE}, {wxALIGN_LEFT, wxALIGN_TOP}, {wxALIGN_RIGHT, wxALIGN_BOTTOM}};
    const wxRect cells[] = {wxRect(0, 0, 50, 20), wxRect(7, 5, 23, 15), wxRect(3, 2, 61, 38)};
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& alignment : alignments)
            for (const wxRect& cell : cells)
                for (int row : {0, 1})
                    for (bool selected : {false, true})
                    {
                        attr->SetAlignment(alignment.horizontal, alignment.vertical);
                        const wxImage picture = drawn(cached, cell, row, selected);
                        const std::string where = "pass " + std::to_string(pass) + ", cell " + std::to_string(cell.x) + ","
                                                  + std::to_string(cell.y) + " " + std::to_string(cell.width) + "x"
                                                  + std::to_string(cell.height) + ", row " + std::to_string(row)
                                                  + ", selected " + std::to_string(selected);
                        EXPECT_EQ(pixels(picture, cell), pixels(drawn(native, cell, row, selected), cell)) << where;
                        int outside = 0;
                        for (int y = 0; y < area.height; ++y)
                            for (int x = 0; x < area.width; ++x)
                                if (!cell.Contains(x, y))
                                    outside += picture.GetRed(x, y) != 255 || picture.GetGreen(x, y) != 0 || picture.GetBlue(x, y) != 0;
                        EXPECT_EQ(outside, 0) << where;
                    }
    // Two states over two backgrounds, at the full box size and at the one shrunk to fit.
    EXPECT_EQ(cached.getPictureCount(), 8u);
    attr->DecRef();
    grid->Destroy();
}

TEST(TolvaneInterfaceTest, CreatesThePanelAndTheMenuWithTheFileItems)
{
    CTolvaneFixture data;
    kvo::base::CRefPtr<plug::CGuiAdapter> adapter(new plug::CGuiAdapter);
    adapter->idBase = 4000;
    tolvane::CTolvaneInterface pluginInterface(0);
    pluginInterface.setAdapter(adapter.get());
    pluginInterface.setBindings(&data.bindings);

    std::unique_ptr<plug::CPluginMenu> menu(pluginInterface.createMenu(adapter.get()));
    ASSERT_NE(dynamic_cast<tolvane::CTolvaneMenu*>(menu.get()), nullptr);
    ASSERT_TRUE(menu->createItems());
    ASSERT_EQ(menu->GetMenuItemCount(), 6u);
    EXPECT_EQ(menu->FindItemByPosition(0)->GetId(), 4004);
    EXPECT_EQ(menu->FindItemByPosition(1)->GetId(), 4005);
    EXPECT_TRUE(menu->FindItemByPosition(2)->IsSeparator());
    const struct
    {
        int id;
        const char* label;
        const char* help;
    } items[] = {{4017, "Load Segmentation", "Loads the segmentation from a file."},
                 {4018, "Save Segmentation", "Saves results of the segmentation."},
                 {4019, "Save Segmentation As...", "Saves results of the segmentation."}};
    for (std::size_t i = 0; i < 3; ++i)
    {
        wxMenuItem* item = menu->FindItemByPosition(3 + i);
        EXPECT_EQ(item->GetId(), items[i].id);
        EXPECT_EQ(item->GetItemLabelText(), items[i].label);
        EXPECT_EQ(item->GetHelp(), items[i].help);
    }

    auto* panel = dynamic_cast<CTolvanePanel*>(pluginInterface.createPanel(adapter.get()));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetId(), 4001);
    panel->setBindings(&data.bindings);
    ASSERT_TRUE(panel->prepare());
    ASSERT_TRUE(panel->connect());
    ASSERT_TRUE(pluginInterface.connect(nullptr));
    // The file buttons reach the interface's commands: each asks for a file (cancelled).
    CQueuedDialogs dialogs;
    dialogs.files = {"", "", ""};
    data.hub.setDialogService(&dialogs);
    for (int offset : {36, 37, 38})
    {
        wxWindow* button = panel->FindWindow(4000 + offset);
        ASSERT_NE(button, nullptr);
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        EXPECT_NO_THROW(button->ProcessWindowEvent(event));
    }
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"file seg: Please, choose a segmentation data to open...",
                                                       "file seg: Choose an output file...",
                                                       "file seg: Choose an output file..."}));
    data.hub.setDialogService(nullptr);
    panel->Destroy();
}
