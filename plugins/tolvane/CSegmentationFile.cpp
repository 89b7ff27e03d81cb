#include "plugins/tolvane/CSegmentationFile.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CSerializationManager.h"
#include "data/CUndoManager.h"
#include "data/StorageEntries.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CFileChannel.h"
#include "toolkit/sys/CReplacingFile.h"

#include <array>
#include <memory>
#include <vector>

namespace tolvane {

using namespace data::entries;

namespace {

constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

// The size every segmentation of the current data set has: the density volume's, or the
// region volume's while no data set is active.
std::array<std::int32_t, 3> currentSize(data::CDataStorage& storage)
{
    int dataSetId = 0;
    {
        data::CObjectPtr<data::CActiveDataSet> dataSet(storage.getEntry(ENTRY_ACTIVE_DATA_SET, REQUEST));
        dataSetId = dataSet->getDataSetId();
    }
    if (data::CDataStorage::isValidId(dataSetId))
    {
        data::CObjectPtr<data::CDensityData> density(storage.getEntry(dataSetId, REQUEST));
        return {density->getXSize(), density->getYSize(), density->getZSize()};
    }
    data::CObjectPtr<data::CRegionData> regions(storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    return {regions->getXSize(), regions->getYSize(), regions->getZSize()};
}

} // namespace

CSegmentationFile::EResult CSegmentationFile::save(const std::string& path, const tProgressFunction& progress)
{
    kvo::sys::CReplacingFile file(path);
    if (!file.isReady())
        return EResult::FAILED;
    bool completed = false;
    bool written = false;
    {
        kvo::mod::CFileChannel channel(kvo::mod::CChannel::CH_OUT, file.getTemporaryPath());
        try
        {
            // The serializer goes before the channel is flushed: it ends the open block.
            kvo::mod::CBinarySerializer serializer(&channel, 0);
            data::CSerializationManager manager(m_storage);
            manager.setProgressFunction(progress);
            completed = manager.save(serializer, {ENTRY_REGION_DATA, ENTRY_REGION_COLORING});
            written = true;
        }
        catch (const kvo::base::CException&)
        {
            written = false;
        }
        catch (const std::bad_alloc&)
        {
            written = false;
        }
        // The flush shows a write error that the stream's buffer still held back.
        written = written && channel.flush();
        channel.disconnect();
    }
    if (!completed && written)
        return EResult::CANCELLED; // the temporary file goes with `file`
    return written && file.commit() ? EResult::DONE : EResult::FAILED;
}

CSegmentationFile::EResult CSegmentationFile::load(const std::string& path, const tProgressFunction& progress)
{
    kvo::mod::CFileChannel channel(kvo::mod::CChannel::CH_IN, path);
    if (!channel.isOpen())
        return EResult::FAILED;
    return load(channel, progress);
}

CSegmentationFile::EResult CSegmentationFile::load(kvo::mod::CChannel& channel, const tProgressFunction& progress)
{
    std::unique_ptr<data::CRegionData> regions;
    std::unique_ptr<data::CRegionColoring> coloring;
    try
    {
        const std::array<std::int32_t, 3> size = currentSize(m_storage);
        kvo::mod::CBinarySerializer serializer(&channel, 0);
        data::CSerializationManager manager(m_storage);
        manager.setProgressFunction(progress);
        // Every entry of the list gets its spare object before anything is read; any other
        // entry, or one named twice, refuses the file.
        auto target = [&](int id) -> kvo::mod::CSerializable* {
            if (id == ENTRY_REGION_DATA && !regions)
            {
                regions = std::make_unique<data::CRegionData>(size[0], size[1], size[2]);
                return regions.get();
            }
            if (id == ENTRY_REGION_COLORING && !coloring)
            {
                coloring = std::make_unique<data::CRegionColoring>();
                return coloring.get();
            }
            return nullptr;
        };
        std::vector<int> list;
        if (!manager.loadInto(serializer, list, data::CSerializationManager::tTargetFunction(target)))
            return EResult::CANCELLED;
    }
    catch (const kvo::base::CException&)
    {
        return EResult::FAILED;
    }
    catch (const std::bad_alloc&)
    {
        return EResult::FAILED;
    }

    // Everything was read and checked: from here on the storage changes.
    const bool regionsChanged = regions != nullptr;
    bool coloringChanged = coloring != nullptr;
    {
        data::CObjectPtr<data::CRegionColoring> storedColoring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        data::CObjectPtr<data::CRegionData> storedRegions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
        if (regions)
        {
            {
                data::CObjectPtr<data::CUndoManager> history(m_storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
                history->insert(storedRegions->createVolumeSnapshot());
            }
            if (storedRegions->getXSize() != regions->getXSize() || storedRegions->getYSize() != regions->getYSize() ||
                storedRegions->getZSize() != regions->getZSize())
                storedRegions->resize(regions->getXSize(), regions->getYSize(), regions->getZSize(), 0);
            storedRegions->copyBlock(*regions);
            storedRegions->show(regions->isShown());
            regions.reset();
        }
        if (coloring)
            *storedColoring = *coloring;
        // Every label in the volume gets a row, as "Create New" would add it.
        const int needed = int(storedRegions->getLargestLabel()) + 1;
        if (needed > storedColoring->getCount())
        {
            storedColoring->resize(needed, true);
            coloringChanged = true;
        }
    }
    if (regionsChanged)
        m_storage.invalidate(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST), data::CDataStorage::INVALIDATE_UPDATE);
    if (coloringChanged)
        m_storage.invalidate(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST),
                             data::CDataStorage::INVALIDATE_UPDATE);
    return EResult::DONE;
}

} // namespace tolvane
