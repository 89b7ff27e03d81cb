#pragma once
// Objects and helpers shared by the storage tests.

#include "data/CChangedEntries.h"
#include "data/CDataStorage.h"
#include "data/CStorableFactory.h"
#include "data/CStorageEntry.h"
#include "toolkit/base/CException.h"
#include "toolkit/base/CLog.h"

#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace storage_test {

//! An object with derived state whose answers the tests control.
struct CTestValue
{
    int value = 0;
    int updateCount = 0;
    std::set<int> lastChanges;
    bool acceptChanges = true;
    bool failUpdate = false;
    bool empty = false;

    void update(const data::CChangedEntries& changes)
    {
        if (failUpdate)
            throw kvo::base::CException();
        ++updateCount;
        lastChanges = changes.getIds();
    }
    bool checkDependency(data::CStorageEntry*) { return acceptChanges; }
    bool hasData() { return !empty; }
};

//! An object of another type.
struct COtherValue
{
    double x = 0.0;
};

//! Collects everything written to the global log while it lives.
class CLogCapture : public kvo::base::CLogOutput
{
public:
    CLogCapture() { kvo::base::getGlobalLog().addOutput(this); }
    ~CLogCapture() override { kvo::base::getGlobalLog().removeOutput(this); }

    void write(const char* text) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_text += text;
    }

    std::string getText()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_text;
    }

    std::vector<std::string> getLines()
    {
        std::vector<std::string> lines;
        std::istringstream stream(getText());
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::mutex m_mutex;
    std::string m_text;
};

//! A storage with a factory of its own.
struct CStorageFixtureBase
{
    data::CStorableFactory factory;
    data::CDataStorage storage{&factory};

    //! Registers a CTestValue for `id` depending on `dependsOn`, and requests it.
    data::CStorageEntry* addValue(int id, std::set<int> dependsOn = {})
    {
        factory.registerObject<CTestValue>(id);
        factory.setDependencies(id, dependsOn);
        return storage.getEntry(id, 3).get();
    }

    CTestValue& valueOf(int id)
    {
        data::CStorageEntry* entry = storage.getEntry(id, 0).get();
        return dynamic_cast<data::CObjectHolder<CTestValue>&>(*entry->getObject()).getObject();
    }

    //! Records every change signal of `id` into `order`.
    void recordSignals(int id, std::vector<int>& order)
    {
        storage.getEntrySignal(id).connect(
            data::CStorageEntry::tSignal::tFunctor([&order](data::CStorageEntry* e) { order.push_back(e->getId()); }));
    }
};

} // namespace storage_test
