#include "toolkit/base/CObject.h"
#include "toolkit/sys/CCriticalSection.h"
#include "toolkit/sys/GlobalMemory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using kvo::base::CObject;
using kvo::base::CRefPtr;

namespace {

struct CTracked : CObject
{
    explicit CTracked(int* counter) : deaths(counter) {}
    ~CTracked() override { ++*deaths; }
    int* deaths;
};

// CObject as a second base: its sub-object does not start the block.
struct CFirstBase
{
    virtual ~CFirstBase() = default;
    char padding[40] = {};
};
struct CSecondBase : CFirstBase, CTracked
{
    explicit CSecondBase(int* counter) : CTracked(counter) {}
};

struct COuter : CObject
{
    explicit COuter(int* counter) : inner(counter) {}
    CTracked inner;
};

} // namespace

TEST(ObjectTest, HeapObjectStartsAtZeroAndLastReleaseDeletesIt)
{
    int deaths = 0;
    auto* object = new CTracked(&deaths);
    EXPECT_TRUE(object->isOnHeap());
    EXPECT_EQ(object->getReferencesCount(), 0);
    {
        CRefPtr<CTracked> first(object);
        CRefPtr<CTracked> second = first;
        EXPECT_EQ(object->getReferencesCount(), 2);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(ObjectTest, StackAndMemberObjectsAreNeverDeletedByRelease)
{
    int deaths = 0;
    {
        CTracked onStack(&deaths);
        EXPECT_FALSE(onStack.isOnHeap());
        EXPECT_EQ(onStack.getReferencesCount(), 1);
        {
            CRefPtr<CTracked> holder(&onStack);
            EXPECT_EQ(onStack.getReferencesCount(), 2);
        }
        EXPECT_EQ(deaths, 0);
        EXPECT_EQ(onStack.getReferencesCount(), 1);
    }
    EXPECT_EQ(deaths, 1);

    deaths = 0;
    CRefPtr<COuter> outer(new COuter(&deaths));
    EXPECT_TRUE(outer->isOnHeap());
    EXPECT_FALSE(outer->inner.isOnHeap());
    {
        CRefPtr<CTracked> innerHolder(&outer->inner);
    }
    EXPECT_EQ(deaths, 0); // the member survives its holder
    outer.reset();
    EXPECT_EQ(deaths, 1);
}

TEST(ObjectTest, MarkerFoundWhenObjectIsNotTheFirstBase)
{
    int deaths = 0;
    auto* object = new CSecondBase(&deaths);
    EXPECT_TRUE(static_cast<CTracked*>(object)->isOnHeap());
    CRefPtr<CTracked> holder(object);
    holder.reset();
    EXPECT_EQ(deaths, 1);
}

TEST(ObjectTest, StaleStackMemoryHoldingTheMarkerIsNotMistakenForHeap)
{
    // Put the marker value where the next stack object will live: the constructor must not
    // trust raw memory.
    alignas(CTracked) unsigned char storage[sizeof(CTracked)];
    std::uint32_t marker = CObject::HEAP_MARKER;
    for (std::size_t i = 0; i + sizeof(marker) <= sizeof(storage); i += sizeof(marker))
        std::memcpy(storage + i, &marker, sizeof(marker));
    int deaths = 0;
    auto* object = new (storage) CTracked(&deaths);
    EXPECT_FALSE(object->isOnHeap());
    object->addReference();
    object->release();
    EXPECT_EQ(deaths, 0);
    object->~CTracked();
}

TEST(ObjectTest, CriticalSectionIsRecursiveAndExcludesOtherThreads)
{
    kvo::sys::CCriticalSection section;
    section.lock();
    section.lock();
    std::atomic<bool> otherGot{true};
    std::thread([&] { otherGot = section.tryLock(); if (otherGot) section.unlock(); }).join();
    EXPECT_FALSE(otherGot);
    section.unlock();
    std::thread([&] { otherGot = section.tryLock(); if (otherGot) section.unlock(); }).join();
    EXPECT_FALSE(otherGot); // still held once
    section.unlock();
    std::thread([&] { otherGot = section.tryLock(); if (otherGot) section.unlock(); }).join();
    EXPECT_TRUE(otherGot);
}

TEST(ObjectTest, GlobalMemoryBlockLifecycle)
{
    using namespace kvo::sys;
    HGLOBAL handle = GlobalAlloc(0, 64);
    ASSERT_NE(handle, nullptr);
    void* address = GlobalLock(handle);
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(address) % alignof(std::max_align_t), 0u);
    std::memset(address, 0xab, 64);
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(GlobalFree(handle), nullptr);
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
}
