#pragma once
// Statistics of the current data set (entry 104): the minimum and the maximum density.
//
// The object follows the active data set: the host makes its entry depend on the active
// data set (11) and on the density entries, and gives it the storage; every update reads
// entry 11, the density entry it names, and recomputes. Without a storage, a data set or
// density voxels both values are 0.

#include "data/CChangedEntries.h"
#include "toolkit/base/CObject.h"

#include <cstdint>

namespace data {

class CDataStorage;
class CDensityData;

class CDataStats : public kvo::base::CObject
{
public:
    //! Entry of the active data set that the statistics follow.
    static constexpr int ENTRY_ACTIVE_DATA_SET = 11;

    CDataStats() = default;

    //! The storage to read from (not owned; null: none).
    void setStorage(CDataStorage* storage) { m_storage = storage; }
    CDataStorage* getStorage() const { return m_storage; }

    //! Recomputes from the active data set; called by the entry when it is brought up to
    //! date, with the entry's data lock held. Takes the locks of entry 11 and of the
    //! density entry in turn.
    void update(const CChangedEntries& changes);

    //! Recomputes from a density volume (interior voxels only).
    void compute(const CDensityData& density);

    std::int16_t getMin() const { return m_min; }
    std::int16_t getMax() const { return m_max; }

private:
    CDataStorage* m_storage = nullptr;
    std::int16_t m_min = 0;
    std::int16_t m_max = 0;
};

} // namespace data
