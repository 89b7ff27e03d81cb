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
    std::int16_t low = density.at(0, 0, 0);
    std::int16_t high = low;
    for (std::int32_t z = 0; z < density.getZSize(); ++z)
    {
        for (std::int32_t y = 0; y < density.getYSize(); ++y)
        {
            const std::int16_t* row = density.getRowPtr(y, z);
            // Separate min and max reductions over a row vectorise well.
            std::int16_t rowLow = row[0], rowHigh = row[0];
            for (std::int32_t x = 1; x < xSize; ++x)
            {
                rowLow = std::min(rowLow, row[x]);
                rowHigh = std::max(rowHigh, row[x]);
            }
            low = std::min(low, rowLow);
            high = std::max(high, rowHigh);
        }
    }
    m_min = low;
    m_max = high;
}

} // namespace data
