#include "host/CDataExchange.h"

#include "data/CDataStorage.h"
#include "data/CModel.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CUndoManager.h"
#include "host/CHostData.h"
#include "host/HostStorage.h"
#include "host/exchange/LabelDescriptionFile.h"
#include "host/exchange/LabelMapFile.h"
#include "host/exchange/Reorientation.h"
#include "toolkit/mod/CFileChannel.h"
#include "toolkit/sys/CReplacingFile.h"
#include "toolkit/sys/MemoryLimit.h"
#include "vctl/MCTriS.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace velmora {

namespace {

void needData(CHostData& hostData)
{
    if (!hostData.hasData())
        throw std::runtime_error("No data set is loaded");
}

exchange::CGrid scanGrid(CHostData& hostData)
{
    exchange::CGrid grid;
    grid.size = hostData.getDimensions();
    grid.spacing = hostData.getSpacing();
    grid.geometry = hostData.getGeometry();
    return grid;
}

} // namespace

void CDataExchange::exportLabels(const std::string& path)
{
    needData(m_data);
    const exchange::CGrid grid = scanGrid(m_data);
    exchange::CLabelMap map;
    map.xSize = grid.size[0];
    map.ySize = grid.size[1];
    map.zSize = grid.size[2];
    map.dx = grid.spacing[0];
    map.dy = grid.spacing[1];
    map.dz = grid.spacing[2];
    map.geometry = grid.geometry;
    const std::size_t rowLength = std::size_t(map.xSize);
    kvo::sys::checkMemory(std::uint64_t(rowLength) * map.ySize * map.zSize * sizeof(std::uint16_t), "The label map");
    map.labels.resize(rowLength * map.ySize * map.zSize);
    {
        auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
        std::uint16_t* out = map.labels.data();
        for (int z = 0; z < map.zSize; ++z)
            for (int y = 0; y < map.ySize; ++y, out += rowLength)
                std::copy_n(regions->getRowPtr(y, z), rowLength, out);
    }
    std::vector<exchange::CLabelDescription> descriptions;
    const std::vector<CRegionInfo> regions = m_data.getRegions();
    for (std::size_t index = 0; index < regions.size(); ++index)
    {
        const CRegionInfo& region = regions[index];
        exchange::CLabelDescription description;
        description.index = int(index);
        description.red = region.red;
        description.green = region.green;
        description.blue = region.blue;
        description.alpha = region.alpha;
        description.visible = region.visible;
        description.mesh = true;
        description.name = region.name;
        descriptions.push_back(description);
    }
    exchange::writeLabelMap(path, map);
    exchange::writeLabelDescriptions(exchange::descriptionPathFor(path), descriptions);
}

std::vector<std::string> CDataExchange::importLabels(const std::string& path)
{
    needData(m_data);
    // Everything is read and checked before the storage changes.
    exchange::CLabelMap map = exchange::readLabelMap(path);
    std::vector<std::uint16_t> labels = exchange::reorientOnto(map, scanGrid(m_data));
    std::vector<exchange::CLabelDescription> descriptions;
    const std::string descriptionPath = exchange::descriptionPathFor(path);
    std::error_code error;
    if (std::filesystem::is_regular_file(descriptionPath, error))
        descriptions = exchange::readLabelDescriptions(descriptionPath);
    int largest = labels.empty() ? 0 : *std::max_element(labels.begin(), labels.end());
    for (const exchange::CLabelDescription& description : descriptions)
        largest = std::max(largest, description.index);

    {
        auto regions = take<data::CRegionData>(m_storage, ENTRY_REGION_DATA);
        auto coloring = take<data::CRegionColoring>(m_storage, ENTRY_REGION_COLORING);
        {
            // Labels and table change together: one undo step brings back both.
            auto history = take<data::CUndoManager>(m_storage, ENTRY_UNDO_MANAGER);
            history->insert(regions->createRegionStateSnapshot(ENTRY_REGION_COLORING));
        }
        const std::size_t rowLength = std::size_t(regions->getXSize());
        const std::uint16_t* in = labels.data();
        for (int z = 0; z < regions->getZSize(); ++z)
            for (int y = 0; y < regions->getYSize(); ++y, in += rowLength)
                std::copy_n(in, rowLength, regions->getRowPtr(y, z));
        if (largest + 1 > coloring->getCount())
            coloring->resize(largest + 1, true);
        // Region 0 stays "not classified" whatever the file calls label 0.
        for (const exchange::CLabelDescription& description : descriptions)
        {
            if (description.index <= 0)
                continue;
            coloring->setColor(description.index, {description.red, description.green, description.blue, description.alpha});
            coloring->setName(description.index, description.name);
            coloring->setVisible(description.index, description.visible);
        }
    }
    for (int id : {ENTRY_REGION_DATA, ENTRY_REGION_COLORING})
        m_storage.invalidate(m_storage.getEntry(id, REQUEST), 0);
    return map.warnings;
}

std::array<double, 12> CDataExchange::modelToPatient()
{
    const std::array<double, 3> spacing = m_data.getSpacing();
    const import::CPatientGeometry& geometry = m_data.getGeometry();
    // p goes to origin + D (p - size / 2), D's columns the axes.
    std::array<double, 12> placement{};
    for (int row = 0; row < 3; ++row)
    {
        double shift = geometry.origin[row];
        for (int axis = 0; axis < 3; ++axis)
        {
            placement[4 * row + axis] = geometry.axes[axis][row];
            shift -= geometry.axes[axis][row] * spacing[axis] / 2.0;
        }
        placement[4 * row + 3] = shift;
    }
    return placement;
}

void CDataExchange::exportModel(const std::string& path)
{
    needData(m_data);
    const std::array<double, 12> placement = modelToPatient();
    if (!std::all_of(placement.begin(), placement.end(), [](double value) { return std::isfinite(value); }))
        throw std::runtime_error("The data set's position in the patient is not finite");
    auto model = take<data::CModel>(m_storage, ENTRY_MODEL);
    const vctl::MCTriS* mesh = model->getMesh();
    if (!mesh || mesh->getNumOfTris() == 0)
        throw std::runtime_error("There is no model to export: create one first");
    kvo::sys::CReplacingFile file(path);
    if (!file.isReady())
        throw std::runtime_error("Cannot write " + path);
    bool written = false;
    {
        kvo::mod::CFileChannel channel(kvo::mod::CChannel::CH_OUT, file.getTemporaryPath());
        written = mesh->saveSTL(channel, placement) && channel.flush();
        channel.disconnect();
    }
    if (!written || !file.commit())
        throw std::runtime_error("Cannot write " + path);
}

} // namespace velmora
