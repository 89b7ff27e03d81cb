// Typed access to entry objects: object pointers and their locking, observers.

#include "StorageTestSupport.h"

#include "data/CObjectObserver.h"
#include "data/CObjectPtr.h"
#include "data/StorageExceptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace storage_test;
using data::CObjectPtr;
using data::CStorageEntry;

namespace {

using namespace std::chrono_literals;

//! Whether another thread can take the entry's data lock right now.
bool isUnlockedForOthers(CStorageEntry* entry)
{
    bool taken = false;
    std::thread other([&] {
        taken = entry->tryLockData();
        if (taken)
            entry->unlockData();
    });
    other.join();
    return taken;
}

//! Waits until the condition holds, at most `limit`.
template <class F>
bool waitFor(F condition, std::chrono::milliseconds limit = 10s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class ObjectAccess : public ::testing::Test, public CStorageFixtureBase
{
};

TEST_F(ObjectAccess, FailedConstructionLeavesNothingLockedOrReferenced)
{
    factory.registerObject<COtherValue>(502);
    CStorageEntry* other = storage.getEntry(502, 3).get();
    const int references = other->getReferencesCount();
    try
    {
        CObjectPtr<CTestValue> wrong(storage.getEntry(502, 3));
        ADD_FAILURE() << "a pointer of the wrong type was built";
    }
    catch (const data::Storage::CTypecastFailed& failure)
    {
        EXPECT_STREQ(failure.what(), "Wrong data type");
    }
    EXPECT_EQ(other->getReferencesCount(), references);
    EXPECT_TRUE(isUnlockedForOthers(other));

    CStorageEntry* empty = storage.getEntry(503, 2).get();
    EXPECT_THROW(CObjectPtr<CTestValue>(storage.getEntry(503, 3)), data::Storage::CTypecastFailed);
    EXPECT_TRUE(isUnlockedForOthers(empty));

    try
    {
        CObjectPtr<CTestValue> null(data::CEntryPtr{});
        ADD_FAILURE() << "a pointer to a null entry was built";
    }
    catch (const data::Storage::CNullEntry& failure)
    {
        EXPECT_STREQ(failure.what(), "Dereferencing a NULL pointer");
    }
}

TEST_F(ObjectAccess, NestedPointersOnOneThreadUnlockAfterTheOuterOne)
{
    CStorageEntry* entry = addValue(501);
    auto outer = std::make_unique<CObjectPtr<CTestValue>>(storage.getEntry(501, 3));
    {
        CObjectPtr<CTestValue> inner(storage.getEntry(501, 3));
        EXPECT_EQ(inner.get(), outer->get());
        inner->value = 17;
        EXPECT_FALSE(isUnlockedForOthers(entry));
    }
    EXPECT_FALSE(isUnlockedForOthers(entry));
    EXPECT_EQ((*outer)->value, 17);
    outer.reset();
    EXPECT_TRUE(isUnlockedForOthers(entry));
}

TEST_F(ObjectAccess, AnotherThreadWaitsUntilTheLastPointerEnds)
{
    addValue(501);
    auto outer = std::make_unique<CObjectPtr<CTestValue>>(storage.getEntry(501, 3));
    auto inner = std::make_unique<CObjectPtr<CTestValue>>(storage.getEntry(501, 3));
    std::atomic<bool> started{false};
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        started = true;
        CObjectPtr<CTestValue> pointer(storage.getEntry(501, 3));
        acquired = true;
    });
    ASSERT_TRUE(waitFor([&] { return started.load(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(acquired);
    inner.reset();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(acquired);
    outer.reset();
    EXPECT_TRUE(waitFor([&] { return acquired.load(); }));
    other.join();
}

TEST_F(ObjectAccess, FailedUpdateIsLoggedAndThePointerStaysUsable)
{
    CStorageEntry* entry = addValue(104);
    valueOf(104).failUpdate = true;
    storage.invalidate(entry, 0);
    CLogCapture log;
    {
        CObjectPtr<CTestValue> pointer(storage.getEntry(104, 3));
        pointer->value = 5;
        EXPECT_EQ((*pointer).value, 5);
        EXPECT_EQ(pointer.getEntry(), entry);
    }
    EXPECT_EQ(log.getText(), "<note> CObjectPtr::doUpdate(): Unknown exception, Id = 104\n");
    EXPECT_TRUE(entry->isDirty());
    EXPECT_EQ(entry->getVersion(), 3u);
}

//! Records what it sees; optionally fails or reads the object through a pointer.
class CValueObserver : public data::CObjectObserver<CTestValue>
{
public:
    explicit CValueObserver(std::vector<int>* calls = nullptr, int tag = 0) : m_calls(calls), m_tag(tag) {}

    void objectChanged(CTestValue* object) override
    {
        if (m_calls)
            m_calls->push_back(m_tag);
        seenObject = object;
        if (entry)
        {
            lockedForOthers = !isUnlockedForOthers(entry);
            CObjectPtr<CTestValue> again(entry, 0); // must not block: the lock is recursive
            readValue = again->value;
        }
        if (fail)
            throw kvo::base::CFullException("observer failed", "test", 1);
    }

    CStorageEntry* entry = nullptr;
    CTestValue* seenObject = nullptr;
    bool lockedForOthers = false;
    int readValue = -1;
    bool fail = false;

private:
    std::vector<int>* m_calls;
    int m_tag;
};

TEST_F(ObjectAccess, ObserverSeesObjectVersionAndFlagsUnderTheDataLock)
{
    CStorageEntry* entry = addValue(11);
    valueOf(11).value = 42;
    CValueObserver observer;
    observer.entry = entry;
    storage.connectObserver(11, &observer);

    storage.invalidate(entry, 4);
    storage.invalidate(entry, 9);
    EXPECT_EQ(observer.seenObject, &valueOf(11));
    EXPECT_EQ(observer.getVersion(), 4u);
    EXPECT_EQ(observer.getFlags().getValues(), (std::set<int>{4, 9}));
    EXPECT_TRUE(observer.lockedForOthers);
    EXPECT_EQ(observer.readValue, 42);
    EXPECT_TRUE(isUnlockedForOthers(entry));
}

TEST_F(ObjectAccess, DestroyedObserverIsNotCalled)
{
    CStorageEntry* entry = addValue(11);
    std::vector<int> calls;
    auto first = std::make_unique<CValueObserver>(&calls, 1);
    CValueObserver second(&calls, 2);
    storage.connectObserver(11, first.get());
    storage.connectObserver(11, &second);
    first.reset();
    EXPECT_EQ(entry->getSignal().getCount(), 1u);
    storage.invalidate(entry, 0);
    EXPECT_EQ(calls, std::vector<int>{2});
}

TEST_F(ObjectAccess, FailingObserverIsLoggedAndTheOthersStillRun)
{
    CStorageEntry* entry = addValue(11);
    factory.registerObject<COtherValue>(12);
    storage.getEntry(12, 3);
    std::vector<int> calls;
    CValueObserver failing(&calls, 1);
    failing.fail = true;
    failing.entry = entry;
    CValueObserver wrongType(&calls, 2);
    CValueObserver healthy(&calls, 3);
    storage.connectObserver(11, &failing);
    storage.connectObserver(12, &wrongType);
    storage.connectObserver(11, &healthy);

    CLogCapture log;
    storage.invalidate(entry, 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 3}));
    EXPECT_EQ(log.getText(), "<note> CObjectObserver::changed(): observer failed\n");
    EXPECT_TRUE(isUnlockedForOthers(entry));

    storage.invalidate(storage.getEntry(12, 0), 0);
    EXPECT_EQ(log.getLines().back(), "<note> CObjectObserver::changed(): Wrong data type");
    EXPECT_EQ(calls.size(), 2u);
}

// An updating pointer on one thread and an updating invalidate on another take the same
// entry's two locks; they must take them in the same order or they deadlock.
TEST(ObjectAccessThreads, UpdatingPointerAndUpdatingInvalidateDoNotDeadlock)
{
    // Leaked on failure: deadlocked threads would still use them.
    auto* fixture = new CStorageFixtureBase();
    CStorageEntry* source = fixture->addValue(1);
    fixture->addValue(2, {1});
    constexpr int ROUNDS = 20000;
    std::atomic<int> finished{0};
    std::thread reader([&] {
        for (int i = 0; i < ROUNDS; ++i)
            CObjectPtr<CTestValue> pointer(fixture->storage.getEntry(2, 3));
        ++finished;
    });
    std::thread writer([&] {
        for (int i = 0; i < ROUNDS; ++i)
            fixture->storage.invalidate(source, 2);
        ++finished;
    });
    if (!waitFor([&] { return finished.load() == 2; }, 20s))
    {
        reader.detach();
        writer.detach();
        FAIL() << "the threads deadlocked";
    }
    reader.join();
    writer.join();
    EXPECT_GE(fixture->valueOf(2).updateCount, 1);
    delete fixture;
}

} // namespace
