// The host's storage set-up: loading a data set into the entries, the order of the
// announcements, the statistics following the data set, undo and redo end to end through
// entry 501, and the queries.

#include "host/CHostData.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CModel.h"
#include "data/CObjectObserver.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "data/CStorageEntry.h"
#include "data/CUndoManager.h"

#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

#include <vector>

using velmora::CHostData;

namespace {

velmora::import::CLoadedVolume makeVolume(int xSize, int ySize, int zSize, std::int16_t low, std::int16_t high)
{
    velmora::import::CLoadedVolume volume;
    volume.xSize = xSize;
    volume.ySize = ySize;
    volume.zSize = zSize;
    volume.dx = 0.5;
    volume.dy = 0.75;
    volume.dz = 2.0;
    volume.voxels.resize(volume.voxelCount());
    for (std::size_t i = 0; i < volume.voxels.size(); ++i)
        volume.voxels[i] = std::int16_t(low + std::int64_t(i) * (high - low) / std::int64_t(volume.voxels.size() - 1));
    return volume;
}

// Records the identifiers of the entries it hears from, in order.
class CAnnouncements : public data::CEntryObserver
{
public:
    void changed(data::CStorageEntry* entry) override { ids.push_back(entry->getId()); }
    std::vector<int> ids;
};

class CRegionObserver : public data::CObjectObserver<data::CRegionData>
{
public:
    void objectChanged(data::CRegionData*) override { ++calls; }
    int calls = 0;
};

class HostData : public ::testing::Test
{
protected:
    HostData() : storage(new data::CDataStorage(&factory)), host(*storage)
    {
        CHostData::registerObjects(factory);
        host.createEntries();
    }

    // A command as the plug-ins run it: snapshot first, then change the labels and announce.
    void labelSlice(int z, std::uint16_t label)
    {
        data::CObjectPtr<data::CRegionData> regions(storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        data::CObjectPtr<data::CUndoManager> history(storage->getEntry(velmora::ENTRY_UNDO_MANAGER, 3));
        history->insert(regions->createVolumeSnapshot());
        for (int y = 0; y < regions->getYSize(); ++y)
            for (int x = 0; x < regions->getXSize(); ++x)
                regions->at(x, y, z) = label;
        storage->invalidate(regions.getEntry(), 0);
    }

    std::size_t undoCount()
    {
        return data::CObjectPtr<data::CUndoManager>(storage->getEntry(velmora::ENTRY_UNDO_MANAGER, 3))->getUndoCount();
    }

    data::CStorableFactory factory;
    kvo::base::CRefPtr<data::CDataStorage> storage;
    CHostData host;
};

} // namespace

TEST_F(HostData, BeforeAnyDataSet)
{
    EXPECT_FALSE(host.hasData());
    EXPECT_EQ(host.getDimensions(), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(host.getDensityRange(), (std::array<int, 2>{0, 0}));
    EXPECT_EQ(host.getLabel(0, 0, 0), -1);
    EXPECT_TRUE(host.getLabelCounts().empty());
    EXPECT_EQ(host.getRegions().size(), 10u);
    EXPECT_EQ(host.getActiveRegion(), 1);
    EXPECT_EQ(host.getModelCounts(), (std::array<std::int64_t, 2>{0, 0}));
    EXPECT_FALSE(host.undo());
    EXPECT_FALSE(host.redo());
}

TEST_F(HostData, LoadFillsTheEntriesAndAnnouncesThemInOrder)
{
    CAnnouncements heard;
    for (int id : {velmora::ENTRY_ACTIVE_DATA_SET, velmora::ENTRY_DATA_SET_LIST, velmora::ENTRY_REGION_DATA,
                   velmora::ENTRY_REGION_COLORING})
        storage->connectObserver(id, &heard);

    // Taken, not copied: the loaded voxels are gone before the region volume is made.
    auto loaded = makeVolume(6, 5, 4, -1000, 1500);
    loaded.warnings.push_back("kept");
    host.takeDataSet(loaded);
    EXPECT_EQ(loaded.voxels.capacity(), 0u);
    EXPECT_EQ(loaded.warnings.size(), 1u);
    EXPECT_EQ(heard.ids, (std::vector<int>{101, 501, 502, 11}));

    EXPECT_TRUE(host.hasData());
    EXPECT_EQ(host.getDimensions(), (std::array<int, 3>{6, 5, 4}));
    EXPECT_EQ(host.getSpacing(), (std::array<double, 3>{0.5, 0.75, 2.0}));
    EXPECT_EQ(host.getDensityRange(), (std::array<int, 2>{-1000, 1500}));
    EXPECT_EQ(host.getLabel(5, 4, 3), 0);
    EXPECT_EQ(host.getLabel(6, 0, 0), -1);
    EXPECT_EQ(host.getLabel(0, -1, 0), -1);
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 120}}));

    data::CObjectPtr<data::CRegionData> regions(storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
    EXPECT_EQ(regions->getMargin(), 0);
    EXPECT_TRUE(regions->isShown());
    EXPECT_EQ(regions->getUndoEntryId(), velmora::ENTRY_REGION_DATA);
    EXPECT_TRUE(regions->isMarkingChanged());
    EXPECT_EQ(regions->getUndoStorage(), storage.get());
}

TEST_F(HostData, StatisticsFollowANewDataSetAndColouringIsReset)
{
    host.loadDataSet(makeVolume(4, 4, 4, 0, 100));
    EXPECT_EQ(host.getDensityRange(), (std::array<int, 2>{0, 100}));
    {
        data::CObjectPtr<data::CRegionColoring> coloring(storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
        coloring->resize(14, true);
        coloring->setActive(12);
    }
    const int firstId = data::CObjectPtr<data::CActiveDataSet>(storage->getEntry(velmora::ENTRY_ACTIVE_DATA_SET, 3))
                            ->getDataSetId();
    data::CObjectPtr<data::CModel>(storage->getEntry(velmora::ENTRY_MODEL, 3))->setMesh(new vctl::MCTriS);
    CAnnouncements heard;
    storage->connectObserver(velmora::ENTRY_MODEL, &heard);
    host.loadDataSet(makeVolume(3, 2, 5, -7, 3000));
    // The previous scan's model is gone, and the views hear of it.
    EXPECT_EQ(data::CObjectPtr<data::CModel>(storage->getEntry(velmora::ENTRY_MODEL, 3))->getMesh(), nullptr);
    EXPECT_EQ(heard.ids, (std::vector<int>{801}));
    EXPECT_EQ(host.getDensityRange(), (std::array<int, 2>{-7, 3000}));
    // Entry 11 names another density entry now, and the previous one is emptied.
    const int secondId = data::CObjectPtr<data::CActiveDataSet>(storage->getEntry(velmora::ENTRY_ACTIVE_DATA_SET, 3))
                             ->getDataSetId();
    EXPECT_NE(secondId, firstId);
    EXPECT_EQ(data::CObjectPtr<data::CDensityData>(storage->getEntry(firstId, 3))->getXSize(), 0);
    EXPECT_EQ(data::CObjectPtr<data::CDensityData>(storage->getEntry(secondId, 3))->getXSize(), 3);
    host.loadDataSet(makeVolume(2, 2, 2, 5, 9));
    EXPECT_EQ(data::CObjectPtr<data::CActiveDataSet>(storage->getEntry(velmora::ENTRY_ACTIVE_DATA_SET, 3))->getDataSetId(),
              firstId);
    EXPECT_EQ(host.getDensityRange(), (std::array<int, 2>{5, 9}));
    host.loadDataSet(makeVolume(3, 2, 5, -7, 3000));
    EXPECT_EQ(host.getDimensions(), (std::array<int, 3>{3, 2, 5}));
    EXPECT_EQ(host.getRegions().size(), 10u);
    EXPECT_EQ(host.getRegions()[0].name, "Not classified");
    EXPECT_EQ(host.getActiveRegion(), 1);
}

TEST_F(HostData, UndoAndRedoEndToEnd)
{
    host.loadDataSet(makeVolume(5, 4, 3, 0, 10));
    CRegionObserver observer;
    storage->connectObserver(velmora::ENTRY_REGION_DATA, &observer);

    labelSlice(1, 7);
    labelSlice(2, 3);
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 20}, {3, 20}, {7, 20}}));
    observer.calls = 0;

    ASSERT_TRUE(host.undo());
    EXPECT_EQ(observer.calls, 1);
    EXPECT_EQ(host.getLabel(0, 0, 2), 0);
    EXPECT_EQ(host.getLabel(0, 0, 1), 7);
    ASSERT_TRUE(host.undo());
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 60}}));
    EXPECT_EQ(observer.calls, 2);
    EXPECT_FALSE(host.undo());

    ASSERT_TRUE(host.redo());
    ASSERT_TRUE(host.redo());
    EXPECT_EQ(observer.calls, 4);
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 20}, {3, 20}, {7, 20}}));
    EXPECT_FALSE(host.redo());

    // A new data set forgets the history of the old one.
    ASSERT_TRUE(host.undo());
    host.loadDataSet(makeVolume(5, 4, 3, 0, 10));
    EXPECT_EQ(undoCount(), 0u);
    EXPECT_FALSE(host.undo());
    EXPECT_FALSE(host.redo());
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 60}}));
}

TEST_F(HostData, LabelCountsAndSlice)
{
    host.loadDataSet(makeVolume(7, 3, 2, 0, 10)); // rows not a multiple of four
    {
        data::CObjectPtr<data::CRegionData> regions(storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
        regions->at(6, 2, 1) = 65535;
        regions->at(0, 0, 0) = 2;
        regions->at(1, 0, 0) = 2;
    }
    EXPECT_EQ(host.getLabelCounts(), (std::map<int, std::int64_t>{{0, 39}, {2, 2}, {65535, 1}}));

    CAnnouncements heard;
    storage->connectObserver(velmora::ENTRY_ORTHO_SLICE_XY, &heard);
    host.setSliceXY(9);
    EXPECT_EQ(heard.ids, (std::vector<int>{21}));
}

TEST_F(HostData, MalformedVolumeIsRefusedAndChangesNothing)
{
    host.loadDataSet(makeVolume(2, 2, 2, 0, 10));
    velmora::import::CLoadedVolume bad = makeVolume(3, 3, 3, 0, 10);
    bad.voxels.pop_back();
    EXPECT_THROW(host.loadDataSet(bad), std::invalid_argument);
    EXPECT_EQ(host.getDimensions(), (std::array<int, 3>{2, 2, 2}));
}
