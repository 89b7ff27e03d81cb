#include "plugins/tolvane/CRegionCommands.h"

#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CUndoManager.h"
#include "data/StorageEntries.h"
#include "plugins/tolvane/CRegionRenumbering.h"

#include <cmath>
#include <optional>

namespace tolvane {

using namespace data::entries;

namespace {

constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;

using tColoringPtr = data::CObjectPtr<data::CRegionColoring>;
using tRegionsPtr = data::CObjectPtr<data::CRegionData>;
using tHistoryPtr = data::CObjectPtr<data::CUndoManager>;

// The largest label a voxel can carry. The table may grow beyond it ("Create New" has no
// upper bound on the total), but an active index above it names no voxel: writing it
// would wrap around onto another region's label.
constexpr int MAX_LABEL = 0xFFFF;

// Nearest voxel index of a picked coordinate; none outside 0..size-1 (also for NaN and
// for values too large for an int). Rounding down after adding 0.5 keeps a point half a
// voxel before the first one outside instead of truncating it onto voxel 0.
std::optional<std::int32_t> voxelIndex(float coordinate, std::int32_t size)
{
    const double rounded = std::floor(double(coordinate) + 0.5);
    if (!(rounded >= 0.0 && rounded < double(size)))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

struct CVoxel
{
    std::int32_t x, y, z;
};

std::optional<CVoxel> pickedVoxel(const data::CRegionData& regions, float x, float y, float z)
{
    const auto ix = voxelIndex(x, regions.getXSize());
    const auto iy = voxelIndex(y, regions.getYSize());
    const auto iz = voxelIndex(z, regions.getZSize());
    if (!ix || !iy || !iz)
        return std::nullopt;
    return CVoxel{*ix, *iy, *iz};
}

bool containsLabel(const data::CRegionData& regions, std::uint16_t label)
{
    for (std::int32_t z = 0; z < regions.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < regions.getYSize(); ++y)
        {
            const std::uint16_t* row = regions.getRowPtr(y, z);
            for (std::int32_t x = 0; x < regions.getXSize(); ++x)
            {
                if (row[x] == label)
                    return true;
            }
        }
    }
    return false;
}

bool containsOtherThan(const data::CRegionData& regions, std::uint16_t label)
{
    for (std::int32_t z = 0; z < regions.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < regions.getYSize(); ++y)
        {
            const std::uint16_t* row = regions.getRowPtr(y, z);
            for (std::int32_t x = 0; x < regions.getXSize(); ++x)
            {
                if (row[x] != label)
                    return true;
            }
        }
    }
    return false;
}

void replaceLabel(data::CRegionData& regions, std::uint16_t from, std::uint16_t to)
{
    for (std::int32_t z = 0; z < regions.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < regions.getYSize(); ++y)
        {
            std::uint16_t* row = regions.getRowPtr(y, z);
            for (std::int32_t x = 0; x < regions.getXSize(); ++x)
            {
                if (row[x] == from)
                    row[x] = to;
            }
        }
    }
}

// The snapshot of the whole region volume that makes the coming change undoable. The
// caller holds the region data.
void recordUndo(data::CDataStorage& storage, data::CRegionData& regions)
{
    tHistoryPtr history(storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
    history->insert(regions.createVolumeSnapshot());
}

} // namespace

bool CRegionCommands::createRegions(int count)
{
    if (count < MIN_NEW_REGIONS || count > MAX_NEW_REGIONS)
        return false;
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    coloring->resize(coloring->getCount() + count, true);
    m_storage.invalidate(coloring.getEntry(), 0);
    return true;
}

bool CRegionCommands::makeActive(int index)
{
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    const bool changed = coloring->setActive(index);
    m_storage.invalidate(coloring.getEntry(), 0);
    return changed;
}

void CRegionCommands::toggleVisible(int index)
{
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    coloring->setVisible(index, !coloring->isVisible(index));
    m_storage.invalidate(coloring.getEntry(), 0);
}

void CRegionCommands::setColour(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    coloring->setRGB(index, red, green, blue);
    m_storage.invalidate(coloring.getEntry(), 0);
}

bool CRegionCommands::pickActive(float x, float y, float z)
{
    int label = 0;
    {
        tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
        const auto voxel = pickedVoxel(*regions, x, y, z);
        if (!voxel)
            return false;
        label = regions->at(voxel->x, voxel->y, voxel->z);
    }
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    const bool changed = coloring->setActive(label);
    m_storage.invalidate(coloring.getEntry(), 0);
    return changed;
}

bool CRegionCommands::joinActive(float x, float y, float z)
{
    int active = 0;
    {
        tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        active = coloring->getActive();
    }
    tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    const auto voxel = pickedVoxel(*regions, x, y, z);
    if (!voxel || active < 0 || active > MAX_LABEL)
        return false;
    const std::uint16_t label = regions->at(voxel->x, voxel->y, voxel->z);
    if (label != active)
    {
        recordUndo(m_storage, *regions);
        replaceLabel(*regions, label, static_cast<std::uint16_t>(active));
    }
    m_storage.invalidate(regions.getEntry(), 0);
    return true;
}

void CRegionCommands::clearActive()
{
    int active = 0;
    {
        tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        active = coloring->getActive();
    }
    tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    const auto label = static_cast<std::uint16_t>(active);
    if (active > 0 && active <= MAX_LABEL && containsLabel(*regions, label))
    {
        recordUndo(m_storage, *regions);
        replaceLabel(*regions, label, 0);
    }
    m_storage.invalidate(regions.getEntry(), 0);
}

bool CRegionCommands::relabel()
{
    tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
    tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    const CRegionRenumbering::tOrder order = CRegionRenumbering::findOrder(*regions);
    if (order.size() <= 1)
        return false;
    // Labels and table change together, so one undo step must bring back both: labels
    // alone would come back under rows that now hold other regions' names and colours.
    {
        tHistoryPtr history(m_storage.getEntry(ENTRY_UNDO_MANAGER, REQUEST));
        history->insert(regions->createRegionStateSnapshot(ENTRY_REGION_COLORING));
    }
    if (!CRegionRenumbering::isIdentity(order))
        CRegionRenumbering::renumber(*regions, order);
    CRegionRenumbering::rebuildColoring(*coloring, order);
    m_storage.invalidate(regions.getEntry(), 0);
    m_storage.invalidate(coloring.getEntry(), 0);
    return true;
}

void CRegionCommands::reset()
{
    {
        tColoringPtr coloring(m_storage.getEntry(ENTRY_REGION_COLORING, REQUEST));
        coloring->reset();
        m_storage.invalidate(coloring.getEntry(), 0);
    }
    tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    if (containsOtherThan(*regions, 0))
    {
        recordUndo(m_storage, *regions);
        regions->fill(0);
    }
    m_storage.invalidate(regions.getEntry(), 0);
}

void CRegionCommands::showRegions(bool shown)
{
    tRegionsPtr regions(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST));
    regions->show(shown);
    m_storage.invalidate(regions.getEntry(), 0);
}

bool CRegionCommands::areRegionsShown()
{
    return tRegionsPtr(m_storage.getEntry(ENTRY_REGION_DATA, REQUEST))->isShown();
}

} // namespace tolvane
