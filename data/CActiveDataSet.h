#pragma once
// The active data set (entry 11): names the storage entry that holds the density volume
// being worked on. Commands read it each time instead of remembering a density entry, so
// they follow the host when it loads another data set.

#include "toolkit/base/CObject.h"

#include <cstdint>

namespace data {

class CActiveDataSet : public kvo::base::CObject
{
public:
    CActiveDataSet() = default;

    //! Identifier of the density entry; 0 while no data set is loaded.
    std::int32_t getDataSetId() const { return m_dataSetId; }
    void setDataSetId(std::int32_t id) { m_dataSetId = id; }

private:
    std::int32_t m_dataSetId = 0;
};

} // namespace data
