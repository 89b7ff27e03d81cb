#pragma once
// A storage for panel tests that records every announcement (entry, flags) on its way to
// the real invalidate.

#include "data/CDataStorage.h"
#include "data/CStorageEntry.h"

#include <algorithm>
#include <utility>
#include <vector>

class CRecordingStorage : public data::CDataStorage
{
public:
    using CDataStorage::CDataStorage;
    std::vector<std::pair<int, int>> announced;
    void invalidate(data::CStorageEntry* entry, int flags) override
    {
        if (entry)
            announced.emplace_back(entry->getId(), flags);
        CDataStorage::invalidate(entry, flags);
    }
    int count(int id, int flags) const
    {
        return static_cast<int>(std::count(announced.begin(), announced.end(), std::pair<int, int>(id, flags)));
    }
};
