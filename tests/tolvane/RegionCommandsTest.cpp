// The region commands without windows: renumbering by first appearance with the table
// following its regions, the commands on the host's entries with their undo snapshots,
// the host's undo growing the table for restored labels, and the one-shot pick request.

#include "TolvaneFixture.h"

#include "plugins/tolvane/CRegionCommands.h"
#include "plugins/tolvane/CRegionPickRequest.h"
#include "plugins/tolvane/CRegionRenumbering.h"

#include <gtest/gtest.h>

using tolvane::CRegionCommands;
using tolvane::CRegionPickRequest;
using tolvane::CRegionRenumbering;
using tolvane::testing::CTolvaneFixture;

namespace {

using tLabels = std::vector<std::uint16_t>;
using tColor = data::CRegionColoring::CColor;

kvo::img::CVolume<std::uint16_t> volumeOf(int xSize, int ySize, int zSize, const tLabels& labels, int margin = 0)
{
    kvo::img::CVolume<std::uint16_t> volume(xSize, ySize, zSize, margin);
    volume.fillEntire(0);
    std::size_t i = 0;
    for (int z = 0; z < zSize; ++z)
        for (int y = 0; y < ySize; ++y)
            for (int x = 0; x < xSize; ++x)
                volume.at(x, y, z) = labels.at(i++);
    return volume;
}

tLabels labelsOf(const kvo::img::CVolume<std::uint16_t>& volume)
{
    tLabels labels;
    for (int z = 0; z < volume.getZSize(); ++z)
        for (int y = 0; y < volume.getYSize(); ++y)
            for (int x = 0; x < volume.getXSize(); ++x)
                labels.push_back(volume.at(x, y, z));
    return labels;
}

void relabel(kvo::img::CVolume<std::uint16_t>& volume, data::CRegionColoring& coloring)
{
    const auto order = CRegionRenumbering::findOrder(volume);
    CRegionRenumbering::renumber(volume, order);
    CRegionRenumbering::rebuildColoring(coloring, order);
}

} // namespace

TEST(RegionRenumberingTest, RegionsKeepTheirOwnEntriesAtTheirNewIndex)
{
    auto volume = volumeOf(3, 2, 1, {0, 7, 3, 7, 0, 3});
    data::CRegionColoring coloring;
    coloring.setName(7, "Liver");
    coloring.setVisible(3, false);
    coloring.setActive(7);
    relabel(volume, coloring);

    EXPECT_EQ(labelsOf(volume), (tLabels{0, 1, 2, 1, 0, 2}));
    ASSERT_EQ(coloring.getCount(), 3);
    EXPECT_EQ(coloring.getName(0), "Not classified");
    EXPECT_EQ(coloring.getColor(0), (tColor{0, 0, 0, 0}));
    EXPECT_EQ(coloring.getName(1), "Liver");
    EXPECT_EQ(coloring.getColor(1), (tColor{255, 128, 64, 128}));
    EXPECT_TRUE(coloring.isVisible(1));
    EXPECT_EQ(coloring.getName(2), "Region 3");
    EXPECT_EQ(coloring.getColor(2), (tColor{128, 128, 255, 128}));
    EXPECT_FALSE(coloring.isVisible(2));
    EXPECT_EQ(coloring.getActive(), 1); // followed label 7
}

TEST(RegionRenumberingTest, ScanOrderIsXThenYThenZAndZeroStaysBackground)
{
    // 2 x 2 x 2: the first voxel carries 5; scanning z or y first would meet 9 before 4.
    auto volume = volumeOf(2, 2, 2, {5, 4, 9, 0, 9, 0, 0, 4});
    data::CRegionColoring coloring;
    relabel(volume, coloring);
    EXPECT_EQ(labelsOf(volume), (tLabels{1, 2, 3, 0, 3, 0, 0, 2}));
    EXPECT_EQ(coloring.getCount(), 4);
    EXPECT_EQ(coloring.getName(1), "Region 5");
    EXPECT_EQ(coloring.getName(2), "Region 4");
    EXPECT_EQ(coloring.getName(3), "Region 9");
    EXPECT_EQ(coloring.getActive(), 1); // region 1 is gone: the first region becomes active
}

TEST(RegionRenumberingTest, LabelsBeyondTheTableGetGrowthDefaults)
{
    auto volume = volumeOf(4, 1, 1, {12, 0, 2, 40});
    data::CRegionColoring coloring;
    coloring.resize(3, false);
    coloring.setActive(0);
    data::CRegionColoring expected(coloring); // same generator state
    const tColor first = expected.makeRandomColor();
    const tColor second = expected.makeRandomColor();

    relabel(volume, coloring);
    EXPECT_EQ(labelsOf(volume), (tLabels{1, 0, 2, 3}));
    ASSERT_EQ(coloring.getCount(), 4);
    EXPECT_EQ(coloring.getName(1), "Unnamed");
    EXPECT_EQ(coloring.getColor(1), first);
    EXPECT_EQ(coloring.getColor(1).alpha, 128);
    EXPECT_EQ(coloring.getName(2), "Region 2");
    EXPECT_EQ(coloring.getName(3), "Unnamed");
    EXPECT_EQ(coloring.getColor(3), second);
    EXPECT_TRUE(coloring.isVisible(3));
    EXPECT_EQ(coloring.getActive(), 0); // the background stays the background
}

TEST(RegionRenumberingTest, MarginIsNeitherReadNorWrittenAndBackgroundOnlyVolumeIsIdentity)
{
    auto volume = volumeOf(2, 2, 1, {0, 6, 6, 0}, 1);
    volume.fillMargin(9);
    const auto order = CRegionRenumbering::findOrder(volume);
    EXPECT_EQ(order, (CRegionRenumbering::tOrder{0, 6}));
    CRegionRenumbering::renumber(volume, order);
    EXPECT_EQ(labelsOf(volume), (tLabels{0, 1, 1, 0}));
    EXPECT_EQ(volume.at(-1, 0, 0), 9);
    EXPECT_EQ(volume.at(2, 1, 0), 9);
    EXPECT_EQ(volume.at(0, 0, -1), 9);

    EXPECT_EQ(CRegionRenumbering::findOrder(volumeOf(2, 1, 1, {0, 0})), (CRegionRenumbering::tOrder{0}));
    EXPECT_TRUE(CRegionRenumbering::isIdentity({0, 1, 2}));
    EXPECT_FALSE(CRegionRenumbering::isIdentity({0, 2, 1}));
}

class RegionCommandsTest : public ::testing::Test, public CTolvaneFixture
{
protected:
    RegionCommandsTest() : commands(*storage) { load(3, 2, 2); }

    CRegionCommands commands;
};

TEST_F(RegionCommandsTest, CreateNewAppendsUnnamedVisibleRegionsWithinRange)
{
    countAnnouncements();
    EXPECT_FALSE(commands.createRegions(0));
    EXPECT_FALSE(commands.createRegions(101));
    EXPECT_EQ(coloring()->getCount(), 10);
    EXPECT_EQ(announcements.counts[502], 0);

    EXPECT_TRUE(commands.createRegions(3));
    auto table = coloring();
    ASSERT_EQ(table->getCount(), 13);
    for (int i = 10; i < 13; ++i)
    {
        EXPECT_EQ(table->getName(i), "Unnamed");
        EXPECT_TRUE(table->isVisible(i));
        EXPECT_EQ(table->getColor(i).alpha, 128);
    }
    EXPECT_NE(table->getColor(10), table->getColor(11)); // random, not the default grey
    EXPECT_EQ(table->getName(9), "Region 9");
    EXPECT_EQ(announcements.counts[502], 1);
    EXPECT_TRUE(commands.createRegions(100));
    EXPECT_EQ(coloring()->getCount(), 113);
}

TEST_F(RegionCommandsTest, CellCommandsChangeOnlyTheirEntry)
{
    countAnnouncements();
    EXPECT_TRUE(commands.makeActive(4));
    EXPECT_FALSE(commands.makeActive(10)); // outside the table: stays
    EXPECT_FALSE(commands.makeActive(-1));
    EXPECT_EQ(coloring()->getActive(), 4);
    commands.toggleVisible(2);
    EXPECT_FALSE(coloring()->isVisible(2));
    commands.toggleVisible(2);
    EXPECT_TRUE(coloring()->isVisible(2));
    commands.setColour(3, 1, 2, 3);
    EXPECT_EQ(coloring()->getColor(3), (tColor{1, 2, 3, 128}));
    commands.setColour(0, 9, 9, 9);
    EXPECT_EQ(coloring()->getColor(0), (tColor{9, 9, 9, 0})); // alpha stays
    EXPECT_EQ(announcements.counts[502], 7);
    EXPECT_EQ(announcements.counts[501], 0);
}

TEST_F(RegionCommandsTest, PickActiveTakesTheLabelAtTheRoundedPoint)
{
    setLabels({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 11});
    EXPECT_TRUE(commands.pickActive(1.49f, 0.0f, 0.0f));
    EXPECT_EQ(coloring()->getActive(), 1);
    EXPECT_FALSE(commands.pickActive(1.5f, 0.6f, 1.2f)); // voxel (2, 1, 1): label 11, beyond the table
    EXPECT_EQ(coloring()->getActive(), 1);
    commands.createRegions(2);
    EXPECT_TRUE(commands.pickActive(1.5f, 0.6f, 1.2f));
    EXPECT_EQ(coloring()->getActive(), 11);
    EXPECT_FALSE(commands.pickActive(1.0f, 1.0f, 1.0f)); // label 12, still beyond the table
    EXPECT_EQ(coloring()->getActive(), 11);

    // Outside the volume: half a voxel before the first, at the end, and not a number.
    EXPECT_FALSE(commands.pickActive(-0.6f, 0.0f, 0.0f));
    EXPECT_FALSE(commands.pickActive(2.5f, 0.0f, 0.0f));
    EXPECT_FALSE(commands.pickActive(0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(commands.pickActive(0.0f, 3e9f, 0.0f));
    EXPECT_EQ(coloring()->getActive(), 11);
}

TEST_F(RegionCommandsTest, JoinActiveReplacesTheClickedLabelAndCanBeUndone)
{
    const tLabels before{0, 2, 2, 5, 0, 5, 5, 2, 0, 0, 1, 1};
    setLabels(before);
    commands.makeActive(2);
    EXPECT_TRUE(commands.joinActive(0.0f, 1.0f, 0.0f)); // label 5
    EXPECT_EQ(labels(), (tLabels{0, 2, 2, 2, 0, 2, 2, 2, 0, 0, 1, 1}));
    EXPECT_EQ(undoCount(), 1u);

    // The clicked label already is the active one: nothing changes, nothing is recorded.
    EXPECT_TRUE(commands.joinActive(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(undoCount(), 1u);
    EXPECT_FALSE(commands.joinActive(0.0f, 2.0f, 0.0f));
    EXPECT_EQ(undoCount(), 1u);

    ASSERT_TRUE(host.undo());
    EXPECT_EQ(labels(), before);
}

TEST_F(RegionCommandsTest, ClearActiveZerosOnlyTheActiveRegion)
{
    const tLabels before{0, 2, 2, 5, 0, 5, 5, 2, 0, 0, 1, 1};
    setLabels(before);
    commands.makeActive(0);
    commands.clearActive();
    EXPECT_EQ(labels(), before);
    EXPECT_EQ(undoCount(), 0u);

    commands.makeActive(5);
    commands.clearActive();
    EXPECT_EQ(labels(), (tLabels{0, 2, 2, 0, 0, 0, 0, 2, 0, 0, 1, 1}));
    EXPECT_EQ(coloring()->getCount(), 10);
    EXPECT_EQ(coloring()->getActive(), 5);
    EXPECT_EQ(undoCount(), 1u);
    commands.clearActive(); // no voxel left with label 5
    EXPECT_EQ(undoCount(), 1u);
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(labels(), before);
}

TEST_F(RegionCommandsTest, ActiveIndexBeyondTheLargestLabelWritesNoVoxel)
{
    // The table can outgrow the 16-bit labels; region 65537 must not wrap onto region 1.
    const tLabels before{0, 1, 1, 3, 0, 3, 3, 1, 0, 0, 1, 1};
    setLabels(before);
    {
        auto table502 = coloring();
        table502->resize(65538, false);
        ASSERT_TRUE(table502->setActive(65537));
    }
    commands.clearActive();
    EXPECT_FALSE(commands.joinActive(0.0f, 1.0f, 0.0f)); // label 3
    EXPECT_EQ(labels(), before);
    EXPECT_EQ(undoCount(), 0u);

    // The largest label itself still works.
    ASSERT_TRUE(commands.makeActive(65535));
    EXPECT_TRUE(commands.joinActive(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(labels(), (tLabels{0, 1, 1, 65535, 0, 65535, 65535, 1, 0, 0, 1, 1}));
    commands.clearActive();
    EXPECT_EQ(labels(), (tLabels{0, 1, 1, 0, 0, 0, 0, 1, 0, 0, 1, 1}));
}

TEST_F(RegionCommandsTest, RelabelRenumbersUndoRestoresLabelsAndGrowsTheTable)
{
    countAnnouncements();
    setLabels({0, 3, 0, 7, 7, 3, 0, 0, 3, 0, 0, 0});
    commands.makeActive(7);
    EXPECT_TRUE(commands.relabel());
    EXPECT_EQ(labels(), (tLabels{0, 1, 0, 2, 2, 1, 0, 0, 1, 0, 0, 0}));
    {
        auto table = coloring();
        ASSERT_EQ(table->getCount(), 3);
        EXPECT_EQ(table->getName(1), "Region 3");
        EXPECT_EQ(table->getName(2), "Region 7");
        EXPECT_EQ(table->getColor(2), (tColor{255, 128, 64, 128}));
        EXPECT_EQ(table->getActive(), 2);
    }

    // Undo brings back labels 3 and 7 with the table they had: each label under its own
    // name and colour again, and the active region as it was.
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(labels(), (tLabels{0, 3, 0, 7, 7, 3, 0, 0, 3, 0, 0, 0}));
    const data::CRegionColoring defaults;
    auto expectDefaults = [&] {
        auto table = coloring();
        ASSERT_EQ(table->getCount(), 10);
        for (int i = 0; i < 10; ++i)
        {
            EXPECT_EQ(table->getName(i), defaults.getName(i)) << i;
            EXPECT_EQ(table->getColor(i), defaults.getColor(i)) << i;
        }
        EXPECT_EQ(table->getActive(), 7);
    };
    expectDefaults();
    ASSERT_TRUE(host.redo());
    EXPECT_EQ(labels(), (tLabels{0, 1, 0, 2, 2, 1, 0, 0, 1, 0, 0, 0}));
    {
        auto table = coloring();
        ASSERT_EQ(table->getCount(), 3);
        EXPECT_EQ(table->getName(2), "Region 7");
        EXPECT_EQ(table->getActive(), 2);
    }
    ASSERT_TRUE(host.undo());
    expectDefaults();
}

TEST_F(RegionCommandsTest, RelabelOfBackgroundOnlyOrOrderedLabels)
{
    countAnnouncements();
    commands.createRegions(3);
    const int before = announcements.counts[502];
    EXPECT_FALSE(commands.relabel()); // all zero: not even the table changes
    EXPECT_EQ(coloring()->getCount(), 13);
    EXPECT_EQ(announcements.counts[502], before);
    EXPECT_EQ(announcements.counts[501], 0);

    // Labels already in order of first appearance: the voxels stay, only the table
    // shrinks, and that too is one undo step.
    setLabels({1, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(commands.relabel());
    EXPECT_EQ(labels(), (tLabels{1, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(coloring()->getCount(), 3);
    EXPECT_EQ(undoCount(), 1u);
    EXPECT_EQ(announcements.counts[501], 1);
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(coloring()->getCount(), 13);
    EXPECT_EQ(labels(), (tLabels{1, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(RegionCommandsTest, ResetRestoresTheDefaultTableAndZeroLabels)
{
    commands.createRegions(3);
    commands.makeActive(12);
    commands.setColour(1, 0, 0, 0);
    setLabels({0, 12, 3, 3, 0, 0, 0, 1, 1, 0, 0, 0});
    commands.reset();
    EXPECT_EQ(labels(), tLabels(12, 0));
    auto table = coloring();
    data::CRegionColoring defaults;
    ASSERT_EQ(table->getCount(), 10);
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ(table->getColor(i), defaults.getColor(i)) << i;
        EXPECT_EQ(table->getName(i), defaults.getName(i)) << i;
        EXPECT_TRUE(table->isVisible(i));
    }
    EXPECT_EQ(table->getActive(), 1);
}

TEST_F(RegionCommandsTest, UndoOfResetGrowsTheTableForRestoredLabels)
{
    setLabels({0, 12, 3, 3, 0, 0, 0, 1, 1, 0, 0, 0});
    commands.reset();
    EXPECT_EQ(undoCount(), 1u);
    commands.reset(); // already clear: no second undo step
    EXPECT_EQ(undoCount(), 1u);
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(labels(), (tLabels{0, 12, 3, 3, 0, 0, 0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(coloring()->getCount(), 13);
    EXPECT_EQ(coloring()->getName(12), "Unnamed");
    EXPECT_EQ(coloring()->getName(9), "Region 9");
}

TEST_F(RegionCommandsTest, ShowRegionsSetsTheDisplayFlag)
{
    countAnnouncements();
    commands.showRegions(false);
    EXPECT_FALSE(commands.areRegionsShown());
    commands.showRegions(true);
    EXPECT_TRUE(regions()->isShown());
    EXPECT_EQ(announcements.counts[501], 2);
}

class RegionPickRequestTest : public RegionCommandsTest
{
protected:
    RegionPickRequestTest()
    {
        setLabels({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9});
        request.setBindings(&bindings);
    }

    CRegionPickRequest request;
};

TEST_F(RegionPickRequestTest, OnePickOnlyThenDisconnected)
{
    hub.mode = 3;
    request.start(CRegionPickRequest::EAction::PickActive);
    EXPECT_EQ(hub.getMode(), CAppSceneHub::MODE_PICK_POINT);
    EXPECT_EQ(hub.getSavedMode(), 3);
    EXPECT_EQ(hub.pointPicked.getCount(), 1u);

    hub.pointPicked.emit(1.0f, 1.0f, 0.0f, 0); // label 4
    EXPECT_EQ(coloring()->getActive(), 4);
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
    EXPECT_EQ(request.getPending(), CRegionPickRequest::EAction::None);
    hub.pointPicked.emit(2.0f, 0.0f, 0.0f, 0);
    EXPECT_EQ(coloring()->getActive(), 4);

    // A point outside the volume uses up the pick without changing anything.
    request.start(CRegionPickRequest::EAction::PickActive);
    hub.pointPicked.emit(-5.0f, 0.0f, 0.0f, 0);
    EXPECT_EQ(coloring()->getActive(), 4);
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
}

TEST_F(RegionPickRequestTest, NewRequestReplacesThePendingOne)
{
    request.start(CRegionPickRequest::EAction::PickActive);
    request.start(CRegionPickRequest::EAction::JoinActive);
    EXPECT_EQ(hub.pointPicked.getCount(), 1u);
    EXPECT_EQ(request.getPending(), CRegionPickRequest::EAction::JoinActive);
    hub.pointPicked.emit(2.0f, 1.0f, 1.0f, 0); // label 9 joins active region 1
    EXPECT_EQ(coloring()->getActive(), 1);
    EXPECT_EQ(labels(), (tLabels{0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 1, 1}));

    request.start(CRegionPickRequest::EAction::JoinActive);
    {
        CRegionPickRequest other;
        other.setBindings(&bindings);
        other.start(CRegionPickRequest::EAction::PickActive);
        EXPECT_EQ(hub.pointPicked.getCount(), 2u);
    }
    EXPECT_EQ(hub.pointPicked.getCount(), 1u); // destruction disconnects
    request.cancel();
    EXPECT_EQ(hub.pointPicked.getCount(), 0u);
}

TEST(RegionPickRequestBindingsTest, WithoutBindingsRaisesAndConnectsNothing)
{
    plug::CAppBindings bindings; // outlives the request, which holds a reference
    CRegionPickRequest request;
    EXPECT_THROW(request.start(CRegionPickRequest::EAction::PickActive), plug::CAppBindings::CNullAppBindings);
    request.setBindings(&bindings);
    EXPECT_THROW(request.start(CRegionPickRequest::EAction::PickActive), plug::CAppBindings::CNullAppBindings);
    EXPECT_EQ(request.getPending(), CRegionPickRequest::EAction::None);
}
