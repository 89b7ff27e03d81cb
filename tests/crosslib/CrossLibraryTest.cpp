// An object created by the host's factory is read and changed by code inside a plug-in
// library loaded with dlopen, as the host loads plug-ins.

#include "CrossTypes.h"

#include "data/CDataStorage.h"
#include "data/CObjectObserver.h"
#include "data/CObjectPtr.h"
#include "data/CStorableFactory.h"
#include "data/StorageExceptions.h"
#include "host/CPluginLoader.h"
#include "host/CVelmoraRegistry.h"
#include "plug/CAppSceneHub.h"
#include "plug/CPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <dlfcn.h>
#include <thread>

namespace {

struct CCounterObserver : data::CObjectObserver<crosslib::CCounterData>
{
    void objectChanged(crosslib::CCounterData* counter) override { seen.push_back(counter->value); }
    std::vector<int> seen;
};

} // namespace

TEST(CrossLibraryTest, PluginCodeChangesHostObjectsAndHostObserversSeeIt)
{
    data::CStorableFactory factory;
    factory.registerObject<crosslib::CCounterData>(crosslib::COUNTER_ENTRY);
    factory.registerObject<crosslib::CTextData>(crosslib::TEXT_ENTRY);
    kvo::base::CRefPtr<data::CDataStorage> storage(new data::CDataStorage(&factory));
    CAppSceneHub hub;

    velmora::CVelmoraRegistry registry;
    velmora::CPluginLoader loader;
    std::string reason;
    ASSERT_TRUE(loader.loadLibrary(CROSS_PLUGIN_PATH, registry, reason)) << reason;
    void* library = dlopen(CROSS_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    auto increment = reinterpret_cast<int (*)(plug::CPlugin*)>(dlsym(library, "crossIncrement"));
    auto readWrongType = reinterpret_cast<void (*)(plug::CPlugin*)>(dlsym(library, "crossReadWrongType"));
    ASSERT_NE(increment, nullptr);
    ASSERT_NE(readWrongType, nullptr);

    const velmora::CPrototypeRecord& record = registry.getPrototypes().at("Cross");
    plug::CPlugin* plugin = record.create(0);
    ASSERT_NE(plugin, nullptr);
    plugin->getBindings()->setStorage(storage.get());
    plugin->getBindings()->setSceneHub(&hub);

    {
        // The host creates the object and watches it.
        data::CObjectPtr<crosslib::CCounterData> counter(storage->getEntry(crosslib::COUNTER_ENTRY, 3));
        counter->value = 40;
    }
    auto observer = std::make_unique<CCounterObserver>();
    storage->connectObserver(crosslib::COUNTER_ENTRY, observer.get());

    EXPECT_EQ(increment(plugin), 41);
    EXPECT_EQ(increment(plugin), 42);
    EXPECT_EQ(observer->seen, (std::vector<int>{41, 42}));
    {
        data::CObjectPtr<crosslib::CCounterData> counter(storage->getEntry(crosslib::COUNTER_ENTRY, 3));
        EXPECT_EQ(counter->value, 42);
    }

    // The wrong type raises inside the plug-in; the exception reaches the host as the
    // framework's own class, and the entry is left unlocked.
    try
    {
        readWrongType(plugin);
        FAIL() << "no exception";
    }
    catch (const data::Storage::CTypecastFailed& error)
    {
        EXPECT_STREQ(error.what(), "Wrong data type");
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    data::CDataStorage* shared = storage.get();
    std::thread other([done, shared] {
        data::CObjectPtr<crosslib::CCounterData> counter(shared->getEntry(crosslib::COUNTER_ENTRY, 3));
        *done = true;
    });
    for (int i = 0; i < 500 && !*done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(*done) << "the entry stayed locked after the failed typecast";
    other.join();

    record.destroy(plugin);
    // Observers go before the storage, and the plug-in objects before their library.
    observer.reset();
    storage.reset();
    dlclose(library);
    loader.unloadAll();
}
