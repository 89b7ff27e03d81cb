#include "data/CDataStats.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CObjectPtr.h"
#include "toolkit/sys/Shares.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace data {

void CDataStats::update(const CChangedEntries&)
{
    m_min = 0;
    m_max = 0;
    if (!m_storage)
        return;
    std::int32_t densityId = 0;
    {
        CObjectPtr<CActiveDataSet> active(m_storage->getEntry(ENTRY_ACTIVE_DATA_SET, 3));
        densityId = active->getDataSetId();
    }
    // No data set loaded yet: nothing to measure, and not an error.
    if (!CDataStorage::isValidId(densityId))
        return;
    CObjectPtr<CDensityData> density(m_storage->getEntry(densityId, 3));
    compute(*density);
}

namespace {

// Voxels that one thread takes at least; below that the range is found on one.
constexpr std::size_t VOXELS_PER_THREAD = std::size_t(1) << 23;
constexpr std::size_t MAX_THREADS = 4;

// Smallest and largest density of slices [zBegin, zEnd), which must hold at least one voxel.
std::pair<std::int16_t, std::int16_t> rangeOf(const CDensityData& density, std::int32_t zBegin, std::int32_t zEnd)
{
    const std::int32_t xSize = density.getXSize();
    // Sixteen lanes of minima and maxima, which the compiler turns into vector instructions
    // (a plain reduction over the row is left scalar at the optimisation level we build with).
    constexpr std::int32_t LANES = 16;
    std::int16_t low[LANES], high[LANES];
    std::fill_n(low, LANES, density.at(0, 0, zBegin));
    std::fill_n(high, LANES, density.at(0, 0, zBegin));
    for (std::int32_t z = zBegin; z < zEnd; ++z)
    {
        for (std::int32_t y = 0; y < density.getYSize(); ++y)
        {
            const std::int16_t* row = density.getRowPtr(y, z);
            std::int32_t x = 0;
            for (; x + LANES <= xSize; x += LANES)
            {
                for (std::int32_t k = 0; k < LANES; ++k)
                {
                    low[k] = row[x + k] < low[k] ? row[x + k] : low[k];
                    high[k] = row[x + k] > high[k] ? row[x + k] : high[k];
                }
            }
            for (; x < xSize; ++x)
            {
                low[0] = std::min(low[0], row[x]);
                high[0] = std::max(high[0], row[x]);
            }
        }
    }
    return {*std::min_element(low, low + LANES), *std::max_element(high, high + LANES)};
}

} // namespace

void CDataStats::compute(const CDensityData& density)
{
    const std::int32_t zSize = density.getZSize();
    if (density.getXSize() <= 0 || density.getYSize() <= 0 || zSize <= 0)
    {
        m_min = 0;
        m_max = 0;
        return;
    }
    // A large volume is split into blocks of slices, one a processor: the scan is bound by
    // memory, which several cores read faster than one.
    const std::size_t voxels = std::size_t(density.getXSize()) * std::size_t(density.getYSize()) * std::size_t(zSize);
    const std::size_t threads = kvo::sys::shareCount(MAX_THREADS, std::min<std::size_t>(std::size_t(zSize), voxels / VOXELS_PER_THREAD));
    std::vector<std::pair<std::int16_t, std::int16_t>> ranges(threads);
    kvo::sys::runShares(threads, [&](std::size_t k) {
        const auto zBegin = static_cast<std::int32_t>(std::size_t(zSize) * k / threads);
        const auto zEnd = static_cast<std::int32_t>(std::size_t(zSize) * (k + 1) / threads);
        ranges[k] = rangeOf(density, zBegin, zEnd);
    });
    m_min = ranges.front().first;
    m_max = ranges.front().second;
    for (const auto& [low, high] : ranges)
    {
        m_min = std::min(m_min, low);
        m_max = std::max(m_max, high);
    }
}

} // namespace data
