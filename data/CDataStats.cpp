#include "data/CDataStats.h"

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CDensityData.h"
#include "data/CObjectPtr.h"

#include <algorithm>

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

void CDataStats::compute(const CDensityData& density)
{
    const std::int32_t xSize = density.getXSize();
    if (xSize <= 0 || density.getYSize() <= 0 || density.getZSize() <= 0)
    {
        m_min = 0;
        m_max = 0;
        return;
    }
    // Sixteen lanes of minima and maxima, which the compiler turns into vector instructions
    // (a plain reduction over the row is left scalar at the optimisation level we build with).
    constexpr std::int32_t LANES = 16;
    std::int16_t low[LANES], high[LANES];
    std::fill_n(low, LANES, density.at(0, 0, 0));
    std::fill_n(high, LANES, density.at(0, 0, 0));
    for (std::int32_t z = 0; z < density.getZSize(); ++z)
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
    m_min = *std::min_element(low, low + LANES);
    m_max = *std::max_element(high, high + LANES);
}

} // namespace data
