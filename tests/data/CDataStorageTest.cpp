// The storage: entry requests, dependencies, change propagation and notification.

#include "StorageTestSupport.h"

#include "data/CDataStorage.h"
#include "data/CEntryObserver.h"
#include "data/CObjectPtr.h"
#include "data/StorageExceptions.h"

#include <gtest/gtest.h>

using namespace storage_test;
using data::CDataStorage;
using data::CObjectPtr;
using data::CStorageEntry;

namespace {

class CCountingObserver : public data::CEntryObserver
{
public:
    void changed(CStorageEntry*) override { ++calls; }
    int calls = 0;
};

class DataStorage : public ::testing::Test, public CStorageFixtureBase
{
};

TEST_F(DataStorage, OnlyIdentifiersOneTo2047CanBeRequested)
{
    for (int id : {0, 2048, -1, 5000})
    {
        try
        {
            storage.getEntry(id, 3);
            ADD_FAILURE() << "getEntry accepted " << id;
        }
        catch (const data::Storage::CUnknowEntry& failure)
        {
            EXPECT_STREQ(failure.what(), "Failed to recognize a storage entry");
        }
        EXPECT_THROW(storage.getEntrySignal(id), data::Storage::CUnknowEntry) << id;
    }
    CLogCapture log;
    for (int id : {1, 2047})
    {
        data::CEntryPtr entry = storage.getEntry(id, 2);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->getId(), id);
        EXPECT_EQ(entry->getDataId(), id);
        EXPECT_EQ(entry.getFlags(), 2);
        EXPECT_EQ(&storage.getEntrySignal(id), &entry->getSignal());
    }
    EXPECT_EQ(log.getText(), "");
}

TEST_F(DataStorage, ConnectObserverIgnoresBadIdentifiersAndNullObservers)
{
    addValue(5);
    CCountingObserver observer;
    storage.connectObserver(0, &observer);
    storage.connectObserver(2048, &observer);
    storage.connectObserver(-7, &observer);
    EXPECT_NO_THROW(storage.connectObserver(5, nullptr));
    EXPECT_EQ(observer.getConnectionCount(), 0u);
    EXPECT_EQ(storage.getEntrySignal(5).getCount(), 0u);

    storage.connectObserver(5, &observer);
    storage.invalidate(storage.getEntry(5, 0), 0);
    EXPECT_EQ(observer.calls, 1);
}

TEST_F(DataStorage, OnlyTheFirstRequestCreatesAndRegistersDependencies)
{
    int creations = 0;
    factory.registerCreator(5, data::CStorableFactory::tCreator([&creations]() -> data::CStorableData* {
        ++creations;
        return new data::CObjectHolder<CTestValue>();
    }));
    factory.setDependencies(5, {3});
    data::CEntryPtr first = storage.getEntry(5, 3);
    data::CStorableData* object = first->getObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(storage.getEntry(3, 0)->getDependents(), std::set<int>{5});

    // Changing the registration afterwards must not matter to an initialised entry.
    factory.setDependencies(5, {4});
    data::CEntryPtr second = storage.getEntry(5, 3);
    EXPECT_EQ(creations, 1);
    EXPECT_EQ(second->getObject(), object);
    EXPECT_TRUE(storage.getEntry(4, 0)->getDependents().empty());

    // Requested first without the create bit: stays without object for good.
    factory.registerObject<CTestValue>(6);
    data::CEntryPtr bare = storage.getEntry(6, 2);
    EXPECT_EQ(storage.getEntry(6, 3)->getObject(), nullptr);
    EXPECT_FALSE(bare->hasData());
    EXPECT_THROW(CObjectPtr<CTestValue>(storage.getEntry(6, 3)), data::Storage::CTypecastFailed);
}

TEST_F(DataStorage, HasDataAsksTheObject)
{
    data::CStorageEntry* entry = addValue(8);
    EXPECT_TRUE(entry->hasData());
    valueOf(8).empty = true;
    EXPECT_FALSE(entry->hasData());
}

TEST_F(DataStorage, FailedCreationLogsOneNoteAndLeavesTheEntryEmpty)
{
    CLogCapture log;
    factory.setDependencies(7, {3});
    data::CEntryPtr entry = storage.getEntry(7, 3);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->getObject(), nullptr);
    EXPECT_EQ(log.getText(), "<note> CDataStorage::getEntry(): Failed to create a new object, Id = 7\n");
    // The request goes on: the dependencies are registered all the same.
    EXPECT_EQ(storage.getEntry(3, 0)->getDependents(), std::set<int>{7});
}

TEST_F(DataStorage, CreatorWithoutResultOrFailingInitIsReportedNotInstalled)
{
    struct CFailingInit : data::CStorableData
    {
        void init() override { throw data::Storage::CNullEntry(); }
    };
    factory.registerCreator(9, data::CStorableFactory::tCreator([]() -> data::CStorableData* { return nullptr; }));
    factory.registerCreator(10, data::CStorableFactory::tCreator([]() -> data::CStorableData* { return new CFailingInit(); }));
    CLogCapture log;
    EXPECT_EQ(storage.getEntry(9, 1)->getObject(), nullptr);
    EXPECT_EQ(storage.getEntry(10, 1)->getObject(), nullptr);
    EXPECT_EQ(log.getLines(), (std::vector<std::string>{
                                  "<note> CDataStorage::getEntry(): Failed to create a new object, Id = 9",
                                  "<note> CDataStorage::getEntry(): Dereferencing a NULL pointer, Id = 10"}));
}

TEST_F(DataStorage, DependentsThatRefuseTheChangeAreNotNotified)
{
    addValue(10);
    addValue(20, {10});
    addValue(30, {10});
    addValue(40, {20}); // behind a refusing dependent
    valueOf(20).acceptChanges = false;
    valueOf(30).acceptChanges = false;
    std::vector<int> order;
    for (int id : {10, 20, 30, 40})
        recordSignals(id, order);

    storage.invalidate(storage.getEntry(10, 0), 0);
    EXPECT_EQ(order, std::vector<int>{10});
    for (int id : {20, 30, 40})
    {
        EXPECT_FALSE(storage.getEntry(id, 0)->isDirty()) << id;
        EXPECT_EQ(storage.getEntry(id, 0)->getVersion(), 2u) << id;
    }
}

TEST_F(DataStorage, EntryIsNotifiedFirstThenDependentsInAscendingOrder)
{
    // E = 100 with dependents P = 30 and Q = 20; R = 25 depends on P. Discovery order
    // would be Q, P, R.
    addValue(100);
    addValue(30, {100});
    addValue(20, {100});
    addValue(25, {30});
    std::vector<int> order;
    for (int id : {20, 25, 30, 100})
        recordSignals(id, order);

    storage.invalidate(storage.getEntry(100, 0), 5); // bit 1 clear: no update
    EXPECT_EQ(order, (std::vector<int>{100, 20, 25, 30}));
    EXPECT_EQ(storage.getEntry(100, 0)->getChanges().getIds(), std::set<int>{100});
    EXPECT_EQ(storage.getEntry(30, 0)->getChanges().getIds(), std::set<int>{100});
    EXPECT_EQ(storage.getEntry(20, 0)->getChanges().getIds(), std::set<int>{100});
    EXPECT_EQ(storage.getEntry(25, 0)->getChanges().getIds(), std::set<int>{30});
    EXPECT_EQ(storage.getEntry(25, 0)->getFlags().getValues(), std::set<int>{5});
}

TEST_F(DataStorage, UpdateFlagBringsDependentsUpToDateBeforeTheyAreNotified)
{
    addValue(100);
    addValue(30, {100});
    addValue(20, {100});
    addValue(25, {30});
    std::vector<std::pair<int, bool>> seen;
    for (int id : {20, 25, 30, 100})
        storage.getEntrySignal(id).connect(CStorageEntry::tSignal::tFunctor(
            [&seen](CStorageEntry* e) { seen.emplace_back(e->getId(), e->isDirty()); }));

    storage.invalidate(storage.getEntry(100, 0), CDataStorage::INVALIDATE_UPDATE);
    // The invalidated entry itself is only marked.
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{100, true}, {20, false}, {25, false}, {30, false}}));
    EXPECT_EQ(valueOf(25).updateCount, 1);
    EXPECT_EQ(valueOf(25).lastChanges, std::set<int>{30});
    EXPECT_EQ(valueOf(100).updateCount, 0);
}

TEST_F(DataStorage, WithoutUpdateFlagDependentsStayDirtyUntilAnUpdatingPointer)
{
    addValue(100);
    addValue(30, {100});
    addValue(20, {100});
    std::vector<std::pair<int, bool>> seen;
    for (int id : {20, 30})
        storage.getEntrySignal(id).connect(CStorageEntry::tSignal::tFunctor(
            [&seen](CStorageEntry* e) { seen.emplace_back(e->getId(), e->isDirty()); }));

    storage.invalidate(storage.getEntry(100, 0), 0);
    EXPECT_EQ(seen, (std::vector<std::pair<int, bool>>{{20, true}, {30, true}}));
    {
        CObjectPtr<CTestValue> reading(storage.getEntry(20, 1));
        EXPECT_EQ(reading->updateCount, 0);
    }
    EXPECT_TRUE(storage.getEntry(20, 0)->isDirty());
    {
        CObjectPtr<CTestValue> updating(storage.getEntry(20, 3));
        EXPECT_EQ(updating->updateCount, 1);
        EXPECT_EQ(updating->lastChanges, std::set<int>{100});
    }
    EXPECT_FALSE(storage.getEntry(20, 0)->isDirty());
    EXPECT_TRUE(storage.getEntry(20, 0)->getFlags().isEmpty());
    EXPECT_TRUE(storage.getEntry(30, 0)->isDirty());
}

TEST_F(DataStorage, VersionCountsRecordedChangesAndEffectiveUpdates)
{
    CStorageEntry* entry = addValue(12);
    CStorageEntry* dependent = addValue(13, {12});
    EXPECT_EQ(entry->getVersion(), 2u);
    EXPECT_EQ(dependent->getVersion(), 2u);

    storage.invalidate(entry, 0);
    storage.invalidate(entry, 0);
    EXPECT_EQ(entry->getVersion(), 4u);
    EXPECT_EQ(dependent->getVersion(), 4u);

    entry->update();
    EXPECT_EQ(entry->getVersion(), 5u);
    entry->update(); // clean: no effect
    { CObjectPtr<CTestValue> clean(storage.getEntry(12, 3)); }
    EXPECT_EQ(entry->getVersion(), 5u);
    EXPECT_EQ(valueOf(12).updateCount, 1);

    // A failing update counts nothing and keeps the changes.
    valueOf(13).failUpdate = true;
    EXPECT_THROW(dependent->update(), kvo::base::CException);
    EXPECT_EQ(dependent->getVersion(), 4u);
    EXPECT_TRUE(dependent->isDirty());
    EXPECT_EQ(dependent->getChanges().getIds(), std::set<int>{12});
}

TEST_F(DataStorage, FailingDependentUpdateIsDroppedAndTheOthersGoOn)
{
    addValue(1);
    addValue(2, {1});
    addValue(3, {1});
    valueOf(2).failUpdate = true;
    std::vector<int> order;
    for (int id : {1, 2, 3})
        recordSignals(id, order);

    EXPECT_NO_THROW(storage.invalidate(storage.getEntry(1, 0), 2));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(storage.getEntry(2, 0)->isDirty());
    EXPECT_FALSE(storage.getEntry(3, 0)->isDirty());
    EXPECT_EQ(valueOf(3).updateCount, 1);
}

TEST_F(DataStorage, DependencyCycleIsCutInsteadOfRecursingForever)
{
    addValue(40, {41});
    addValue(41, {40});
    addValue(42, {41});
    std::vector<int> order;
    for (int id : {40, 41, 42})
        recordSignals(id, order);

    storage.invalidate(storage.getEntry(40, 0), 0);
    EXPECT_EQ(order, (std::vector<int>{40, 41, 42}));
    EXPECT_EQ(storage.getEntry(40, 0)->getVersion(), 3u);
    EXPECT_EQ(storage.getEntry(41, 0)->getVersion(), 3u);
}

TEST_F(DataStorage, DependencyOnAnUnusableIdentifierIsIgnored)
{
    addValue(4);
    addValue(12, {0, 4, 2048, 5000, -3});
    std::vector<int> order;
    recordSignals(12, order);
    storage.invalidate(storage.getEntry(4, 0), 0);
    EXPECT_EQ(order, std::vector<int>{12});
}

TEST(DataStorageDefaults, WithoutOwnFactoryTheLibraryFactoryIsUsed)
{
    data::CStorableFactory::getInstance().registerObject<CTestValue>(2001);
    CDataStorage storage;
    EXPECT_EQ(&storage.getFactory(), &data::CStorableFactory::getInstance());
    EXPECT_NE(storage.getEntry(2001, 1)->getObject(), nullptr);
    EXPECT_EQ(&CDataStorage::getInstance(), &CDataStorage::getInstance());
    data::CStorableFactory::getInstance().registerCreator(2001, data::CStorableFactory::tCreator());
}

} // namespace
