#pragma once
// A host-like set-up for the Tolvane tests: the host's storage objects (entries 501, 502,
// 557 and the rest) with a loaded data set, a scene hub, and bindings that reach both.

#include "data/CDataStorage.h"
#include "data/CEntryObserver.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "data/CStorageEntry.h"
#include "data/CUndoManager.h"
#include "host/CHostData.h"
#include "plug/CAppBindings.h"
#include "plug/CAppSceneHub.h"

#include <cstdint>
#include <map>
#include <vector>

namespace tolvane::testing {

// Counts the announcements of each entry it is connected to.
class CAnnouncementCounter : public data::CEntryObserver
{
public:
    void changed(data::CStorageEntry* entry) override { ++counts[entry->getId()]; }
    std::map<int, int> counts;
};

class CTolvaneFixture
{
public:
    CTolvaneFixture() : storage(new data::CDataStorage(&factory)), host(*storage)
    {
        velmora::CHostData::registerObjects(factory);
        host.createEntries();
        bindings.setStorage(storage.get());
        bindings.setSceneHub(&hub);
    }

    //! Loads a data set of the given size (every label 0, default colouring, empty history).
    void load(int xSize, int ySize, int zSize)
    {
        velmora::import::CLoadedVolume volume;
        volume.xSize = xSize;
        volume.ySize = ySize;
        volume.zSize = zSize;
        volume.voxels.assign(volume.voxelCount(), 0);
        host.loadDataSet(volume);
    }

    //! Writes labels x fastest, then y, then z (no snapshot, no announcement).
    void setLabels(const std::vector<std::uint16_t>& labels)
    {
        auto volume = regions();
        std::size_t i = 0;
        for (int z = 0; z < volume->getZSize(); ++z)
            for (int y = 0; y < volume->getYSize(); ++y)
                for (int x = 0; x < volume->getXSize(); ++x)
                    volume->at(x, y, z) = labels.at(i++);
    }

    std::vector<std::uint16_t> labels()
    {
        auto volume = regions();
        std::vector<std::uint16_t> result;
        for (int z = 0; z < volume->getZSize(); ++z)
            for (int y = 0; y < volume->getYSize(); ++y)
                for (int x = 0; x < volume->getXSize(); ++x)
                    result.push_back(volume->at(x, y, z));
        return result;
    }

    data::CObjectPtr<data::CRegionData> regions()
    {
        return data::CObjectPtr<data::CRegionData>(storage->getEntry(velmora::ENTRY_REGION_DATA, 3));
    }
    data::CObjectPtr<data::CRegionColoring> coloring()
    {
        return data::CObjectPtr<data::CRegionColoring>(storage->getEntry(velmora::ENTRY_REGION_COLORING, 3));
    }
    std::size_t undoCount()
    {
        return data::CObjectPtr<data::CUndoManager>(storage->getEntry(velmora::ENTRY_UNDO_MANAGER, 3))->getUndoCount();
    }

    //! Starts counting the announcements of entries 501 and 502.
    void countAnnouncements()
    {
        storage->connectObserver(velmora::ENTRY_REGION_DATA, &announcements);
        storage->connectObserver(velmora::ENTRY_REGION_COLORING, &announcements);
    }

    data::CStorableFactory factory;
    kvo::base::CRefPtr<data::CDataStorage> storage;
    velmora::CHostData host;
    CAppSceneHub hub;
    plug::CAppBindings bindings;
    // Declared last: destroyed (and disconnected) before the storage.
    CAnnouncementCounter announcements;
};

} // namespace tolvane::testing
