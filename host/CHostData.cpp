#include "host/CHostData.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStats.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CDrawingOptions.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/COrthoSliceXY.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "data/CUndoManager.h"
#include "host/HostStorage.h"
#include "toolkit/base/CObject.h"
#include "toolkit/img/CDataBlock.h"
#include "toolkit/img/CMaximumFunctor.h"
#include "toolkit/img/CVolume.h"
#include "toolkit/sys/MemoryLimit.h"
#include "toolkit/sys/MemoryPages.h"
#include "vctl/MCTriS.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>

namespace velmora {

namespace {

// Keeps a loaded volume's voxels alive while a density volume uses them as its buffer.
struct CLoadedVoxels : kvo::base::CObject
{
    import::CVoxelBuffer voxels;
};

// Entry 101 exists to be announced when a data set is replaced; it carries only how many
// data sets were loaded so far.
class CDataSetList : public kvo::base::CObject
{
public:
    int getLoadCount() const { return m_loadCount; }
    void countLoad() { ++m_loadCount; }

private:
    int m_loadCount = 0;
};

// Buffers smaller than this are freed where they are let go.
constexpr std::size_t BACKGROUND_RELEASE_BYTES = std::size_t(8) << 20;

// Empties `volume` and frees its buffer on a thread of its own when nothing else shares it:
// handing a few hundred megabytes back to the system takes milliseconds that a load need
// not wait for. Small or shared buffers, and any when no thread can be had, go here.
template <typename T>
void emptyInBackground(kvo::img::CVolume<T>& volume)
{
    if (!volume.getBlock()->isShared() && volume.getBufferSize() * sizeof(T) >= BACKGROUND_RELEASE_BYTES)
    {
        // The doomed volume shares the buffer until `volume` lets go of it; then it holds
        // the only reference, so the thread is the only one to touch its count.
        auto doomed = std::make_unique<kvo::img::CVolume<T>>(*volume.getBlock(), volume.getXSize(), volume.getYSize(),
                                                             volume.getZSize(), volume.getMargin());
        volume.resize(0, 0, 0, 0);
        try
        {
            std::thread release([held = doomed.get()] { delete held; });
            doomed.release();
            release.detach();
        }
        catch (const std::system_error&)
        {
            // `doomed` frees it here.
        }
        return;
    }
    volume.resize(0, 0, 0, 0);
}

const int hostEntries[] = {ENTRY_ACTIVE_DATA_SET, ENTRY_ORTHO_SLICE_XY, ENTRY_DATA_SET_LIST,
                           ENTRY_DATA_STATS,      ENTRY_DENSITY,        ENTRY_DENSITY_ALT,    ENTRY_REGION_DATA,
                           ENTRY_REGION_COLORING, ENTRY_DRAWING_OPTIONS, ENTRY_UNDO_MANAGER,
                           ENTRY_MODEL};

void growColoringToLabels(data::CDataStorage& storage)
{
    // The colouring is not in the history: labels brought back by undo or redo may lie
    // past the end of a table that shrank meanwhile. Such labels get entries as a growing
    // table makes them (random colour, "Unnamed", visible).
    auto coloring = take<data::CRegionColoring>(storage, ENTRY_REGION_COLORING);
    std::uint16_t largest = 0;
    {
        auto regions = take<data::CRegionData>(storage, ENTRY_REGION_DATA);
        largest = regions->forEach(kvo::img::CMaximumFunctor<std::uint16_t>(0)).getValue();
    }
    if (int(largest) < coloring->getCount())
        return;
    coloring->resize(int(largest) + 1, true);
    storage.invalidate(coloring.getEntry(), 0);
}

// One undo or redo step of the region volume's history, then the colour table grown for
// whatever labels came back.
bool stepHistory(data::CDataStorage& storage, bool (data::CUndoManager::*step)(const data::CUndoProvider*))
{
    bool done = false;
    {
        auto regions = take<data::CRegionData>(storage, ENTRY_REGION_DATA);
        auto history = take<data::CUndoManager>(storage, ENTRY_UNDO_MANAGER);
        done = ((*history).*step)(static_cast<data::CUndoProvider*>(regions.get()));
    }
    if (done)
        growColoringToLabels(storage);
    return done;
}

} // namespace

void CHostData::registerObjects(data::CStorableFactory& factory)
{
    factory.registerObject<data::CActiveDataSet>(ENTRY_ACTIVE_DATA_SET);
    factory.registerObject<data::COrthoSliceXY>(ENTRY_ORTHO_SLICE_XY);
    factory.registerObject<CDataSetList>(ENTRY_DATA_SET_LIST);
    factory.registerObject<data::CDataStats>(ENTRY_DATA_STATS);
    factory.registerObject<data::CDensityData>(ENTRY_DENSITY);
    factory.registerObject<data::CDensityData>(ENTRY_DENSITY_ALT);
    factory.registerObject<data::CRegionData>(ENTRY_REGION_DATA);
    factory.registerObject<data::CRegionColoring>(ENTRY_REGION_COLORING);
    factory.registerObject<data::CDrawingOptions>(ENTRY_DRAWING_OPTIONS);
    factory.registerObject<data::CUndoManager>(ENTRY_UNDO_MANAGER);
    factory.registerObject<data::CModel>(ENTRY_MODEL);
    // The statistics follow the active data set and the density it names, so announcing
    // entry 11 (or the density) leaves them to be recomputed on their next use.
    factory.setDependencies(ENTRY_DATA_STATS, {ENTRY_ACTIVE_DATA_SET, ENTRY_DENSITY, ENTRY_DENSITY_ALT});
}

void CHostData::createEntries()
{
    for (int id : hostEntries)
        m_storage.getEntry(id, REQUEST);
    take<data::CDataStats>(m_storage, ENTRY_DATA_STATS)->setStorage(&m_storage);
    take<data::CUndoManager>(m_storage, ENTRY_UNDO_MANAGER)->setLimit(UNDO_LIMIT_BYTES);
    take<data::CRegionData>(m_storage, ENTRY_REGION_DATA)->setUndoEntry(&m_storage, ENTRY_REGION_DATA, true);
}

void CHostData::loadDataSet(const import::CLoadedVolume& volume)
{
    import::CLoadedVolume copy(volume);
    takeDataSet(copy);
}

void CHostData::takeDataSet(import::CLoadedVolume& volume)
{
    if (volume.xSize <= 0 || volume.ySize <= 0 || volume.zSize <= 0 || volume.voxels.size() != volume.voxelCount())
        throw std::invalid_argument("The loaded volume is empty or its voxel count does not match its size");

    // Its densities and its region volume, both 16 bits a voxel.
    kvo::sys::checkMemory(std::uint64_t(volume.voxelCount()) * sizeof(std::int16_t) * 2, "The data set");
    // The new data set goes into the density entry that is not active; the previous one is
    // emptied once entry 11 names the new one.
    const int previousId = take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->getDataSetId();
    const int densityId = previousId == ENTRY_DENSITY ? ENTRY_DENSITY_ALT : ENTRY_DENSITY;
    {
        // The loaded voxels become the density volume's buffer as they are, without a copy:
        // a block wraps them and keeps their vector alive until the volume lets it go.
        kvo::base::CRefPtr<CLoadedVoxels> owner(new CLoadedVoxels);
        owner->voxels.swap(volume.voxels);
        kvo::sys::keepFromChildProcesses(owner->voxels.data(), owner->voxels.size() * sizeof(std::int16_t));
        auto* block = new kvo::img::CDataBlock<std::int16_t>(owner->voxels.data(), owner->voxels.size(), *owner);
        kvo::img::CVolume<std::int16_t> loaded(*block, volume.xSize, volume.ySize, volume.zSize, 0);
        block->release();
        auto density = take<data::CDensityData>(m_storage, densityId);
        // (Fresh memory that is never touched: it goes with `loaded`.)
        density->resize(volume.xSize, volume.ySize, volume.zSize, 0);
        density->swapVoxels(loaded);
        density->setVoxel(volume.dx, volume.dy, volume.dz);
    }
    m_geometry = volume.geometry;
    const int xSize = volume.xSize, ySize = volume.ySize, zSize = volume.zSize;
    take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->setDataSetId(densityId);
    if (previousId == ENTRY_DENSITY || previousId == ENTRY_DENSITY_ALT)
        emptyInBackground<std::int16_t>(*take<data::CDensityData>(m_storage, previousId));
    {
        // Label 0 everywhere, as fresh zeroed memory: its pages cost nothing until labels
        // are written, where zeroing the volume wrote every one of them. The views read the
        // labels of their slices at once, which reaches every page (a YZ slice crosses all
        // of them): the shared zero page is mapped for all in one go. (A filter that writes
        // every label writes into fresh memory instead, see CDataBlock::isZeroedMemory.)
        auto* block = kvo::img::CDataBlock<std::uint16_t>::createZeroed(volume.voxelCount());
        kvo::sys::mapPages(block->getData(), block->getSize() * sizeof(std::uint16_t), kvo::sys::CPageUse::READ);
        kvo::img::CVolume<std::uint16_t> empty(*block, xSize, ySize, zSize, 0);
        block->release();
        auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
        // (Resized only when the sizes change: at equal sizes a shared buffer would be copied.)
        if (regions->getXSize() != xSize || regions->getYSize() != ySize || regions->getZSize() != zSize
            || regions->getMargin() != 0)
            regions->resize(xSize, ySize, zSize, 0);
        regions->swapVoxels(empty);
        emptyInBackground(empty); // the previous labels
        regions->show(true);
        regions->setUndoEntry(&m_storage, ENTRY_REGION_DATA, true);
    }
    take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING)->reset();
    // Snapshots of the previous volume must never be written into this one.
    take<data::CUndoManager>(m_storage, ENTRY_UNDO_MANAGER)->clear();
    // Nor may the previous scan's model be saved as this one's.
    {
        auto model = take<data::CModel>(m_storage, ENTRY_MODEL);
        model->setMesh(nullptr);
        model->setFlag(0);
    }
    take<CDataSetList>(m_storage, ENTRY_DATA_SET_LIST)->countLoad();
    {
        // A new data set opens on its middle XY slice; views announce their own moves.
        auto slice = take<data::COrthoSliceXY>(m_storage, ENTRY_ORTHO_SLICE_XY);
        slice->setSize(xSize, ySize);
        slice->setPosition(zSize / 2);
    }

    for (int id : {ENTRY_DATA_SET_LIST, ENTRY_REGION_DATA, ENTRY_REGION_COLORING, ENTRY_MODEL, ENTRY_ACTIVE_DATA_SET})
        m_storage.invalidate(m_storage.getEntry(id, REQUEST), 0);
}

bool CHostData::undo() { return stepHistory(m_storage, &data::CUndoManager::undo); }

bool CHostData::redo() { return stepHistory(m_storage, &data::CUndoManager::redo); }

bool CHostData::hasData()
{
    const int id = take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->getDataSetId();
    if (!data::CDataStorage::isValidId(id))
        return false;
    auto density = take<data::CDensityData>(m_storage, id);
    return density->getXSize() > 0 && density->getYSize() > 0 && density->getZSize() > 0;
}

std::array<int, 3> CHostData::getDimensions()
{
    if (!hasData())
        return {0, 0, 0};
    const int id = take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->getDataSetId();
    auto density = take<data::CDensityData>(m_storage, id);
    return {density->getXSize(), density->getYSize(), density->getZSize()};
}

std::array<double, 3> CHostData::getSpacing()
{
    const int id = take<data::CActiveDataSet>(m_storage, ENTRY_ACTIVE_DATA_SET)->getDataSetId();
    if (!data::CDataStorage::isValidId(id))
        return {1.0, 1.0, 1.0};
    auto density = take<data::CDensityData>(m_storage, id);
    return {density->getDX(), density->getDY(), density->getDZ()};
}

std::array<int, 2> CHostData::getDensityRange()
{
    auto stats = take<data::CDataStats>(m_storage, ENTRY_DATA_STATS);
    return {stats->getMin(), stats->getMax()};
}

int CHostData::getLabel(int x, int y, int z)
{
    auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
    if (x < 0 || y < 0 || z < 0 || x >= regions->getXSize() || y >= regions->getYSize() || z >= regions->getZSize())
        return -1;
    return regions->at(x, y, z);
}

std::map<int, std::int64_t> CHostData::getLabelCounts()
{
    auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
    // Four interleaved histograms: long runs of one label would otherwise make every
    // increment wait for the previous one to the same counter.
    std::vector<std::int64_t> histogram(4 * 65536, 0);
    std::int64_t* const h0 = histogram.data();
    std::int64_t* const h1 = h0 + 65536;
    std::int64_t* const h2 = h1 + 65536;
    std::int64_t* const h3 = h2 + 65536;
    const int xSize = regions->getXSize();
    for (int z = 0; z < regions->getZSize(); ++z)
    {
        for (int y = 0; y < regions->getYSize(); ++y)
        {
            const std::uint16_t* row = regions->getRowPtr(y, z);
            int x = 0;
            for (; x + 4 <= xSize; x += 4)
            {
                ++h0[row[x]];
                ++h1[row[x + 1]];
                ++h2[row[x + 2]];
                ++h3[row[x + 3]];
            }
            for (; x < xSize; ++x)
                ++h0[row[x]];
        }
    }
    std::map<int, std::int64_t> counts;
    for (int label = 0; label < 65536; ++label)
    {
        const std::int64_t count = h0[label] + h1[label] + h2[label] + h3[label];
        if (count)
            counts.emplace(label, count);
    }
    return counts;
}

std::vector<CRegionInfo> CHostData::getRegions()
{
    auto coloring = take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING);
    std::vector<CRegionInfo> regions;
    regions.reserve(std::size_t(coloring->getCount()));
    for (int i = 0; i < coloring->getCount(); ++i)
    {
        const auto& color = coloring->getColor(i);
        regions.push_back({coloring->getName(i), color.red, color.green, color.blue, color.alpha, coloring->isVisible(i)});
    }
    return regions;
}

int CHostData::getActiveRegion()
{
    return take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING)->getActive();
}

std::array<std::int64_t, 2> CHostData::getModelCounts()
{
    auto model = take<data::CModel>(m_storage, ENTRY_MODEL);
    const vctl::MCTriS* mesh = model->getMesh();
    if (!mesh)
        return {0, 0};
    return {mesh->getNumOfTris(), mesh->getNumOfVertices()};
}

std::vector<std::string> CHostData::findInconsistencies()
{
    std::vector<std::string> problems;
    auto problem = [&](std::string text) { problems.push_back(std::move(text)); };
    const auto size = getDimensions();
    std::uint16_t largest = 0;
    {
        auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
        const std::array<int, 3> regionSize{regions->getXSize(), regions->getYSize(), regions->getZSize()};
        if (hasData() && regionSize != size)
            problem("the region volume is " + std::to_string(regionSize[0]) + " x " + std::to_string(regionSize[1]) + " x "
                    + std::to_string(regionSize[2]) + " voxels, the data set " + std::to_string(size[0]) + " x "
                    + std::to_string(size[1]) + " x " + std::to_string(size[2]));
        largest = regions->getLargestLabel();
    }
    {
        auto coloring = take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING);
        if (coloring->getActive() < 0 || coloring->getActive() >= coloring->getCount())
            problem("the active region " + std::to_string(coloring->getActive()) + " is outside the colour table of "
                    + std::to_string(coloring->getCount()));
        if (largest >= coloring->getCount())
            problem("label " + std::to_string(largest) + " has no row in the colour table of "
                    + std::to_string(coloring->getCount()));
    }
    {
        auto model = take<data::CModel>(m_storage, ENTRY_MODEL);
        if (const vctl::MCTriS* mesh = model->getMesh())
        {
            std::int64_t triangles = 0;
            std::int64_t vertices = 0;
            std::unordered_set<const vctl::MCVertex*> own;
            for (const vctl::MCVertex* v = mesh->getVertices().getFirst(); v; v = v->getNext(), ++vertices)
                own.insert(v);
            for (const vctl::MCTri* t = mesh->getFirst(); t; t = t->getNext(), ++triangles)
                for (int i = 0; i < 3; ++i)
                    if (own.count(t->getVertex(i)) == 0)
                    {
                        problem("a triangle of the model has a vertex that is not in the model");
                        i = 3;
                    }
            if (triangles != mesh->getNumOfTris() || vertices != mesh->getNumOfVertices())
                problem("the model counts " + std::to_string(mesh->getNumOfTris()) + " triangles and "
                        + std::to_string(mesh->getNumOfVertices()) + " vertices, its lists hold "
                        + std::to_string(triangles) + " and " + std::to_string(vertices));
        }
    }
    {
        auto history = take<data::CUndoManager>(m_storage, ENTRY_UNDO_MANAGER);
        if (history->getTotalSize() > history->getLimit())
            problem("the undo history holds " + std::to_string(history->getTotalSize()) + " bytes, more than its limit of "
                    + std::to_string(history->getLimit()));
    }
    return problems;
}

std::array<std::uint64_t, 2> CHostData::getHistorySize()
{
    auto history = take<data::CUndoManager>(m_storage, ENTRY_UNDO_MANAGER);
    return {history->getTotalSize(), history->getLimit()};
}

void CHostData::setSliceXY(int z)
{
    const auto size = getDimensions();
    auto slice = take<data::COrthoSliceXY>(m_storage, ENTRY_ORTHO_SLICE_XY);
    slice->setSize(size[0], size[1]);
    slice->setPosition(size[2] > 0 ? std::clamp(z, 0, size[2] - 1) : 0);
    m_storage.invalidate(slice.getEntry(), 0);
}

} // namespace velmora
