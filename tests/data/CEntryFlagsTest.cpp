// The bounded history of change kinds.

#include "StorageTestSupport.h"

#include "data/CEntryFlags.h"

#include <gtest/gtest.h>

using storage_test::CLogCapture;

namespace {

const char* const HISTORY_FULL = "<CEntryFlags><45> Warning: CEntryFlags::insert(): Too many items in the history\n";

TEST(EntryFlags, HoldsAtMost101ValuesAndRefusesFurtherOnesWithOneWarning)
{
    CLogCapture log;
    data::CEntryFlags flags;
    for (int value = 0; value < 100; ++value)
        EXPECT_TRUE(flags.insert(value * 3 - 50));
    EXPECT_TRUE(flags.insert(-50)); // duplicate below the limit: no change, no warning
    EXPECT_EQ(flags.size(), 100u);
    EXPECT_TRUE(flags.insert(100 * 3 - 50));
    EXPECT_EQ(flags.size(), 101u);
    EXPECT_EQ(log.getText(), "");

    const data::CEntryFlags full = flags;
    EXPECT_FALSE(flags.insert(1000));
    EXPECT_EQ(log.getText(), HISTORY_FULL);
    EXPECT_FALSE(flags.insert(-50));
    EXPECT_EQ(log.getText(), std::string(HISTORY_FULL) + HISTORY_FULL);
    EXPECT_TRUE(flags == full);
    EXPECT_FALSE(flags.contains(1000));
}

TEST(EntryFlags, FullHistoryOfAnEntryStillRecordsTheChange)
{
    data::CStorableFactory factory;
    data::CDataStorage storage(&factory);
    data::CEntryPtr entry = storage.getEntry(3, 3);
    for (int flags = 0; flags < 101; ++flags)
        storage.invalidate(entry, flags);
    CLogCapture log;
    storage.invalidate(entry, 500);
    EXPECT_EQ(log.getText(), HISTORY_FULL);
    EXPECT_EQ(entry->getFlags().size(), 101u);
    EXPECT_TRUE(entry->isDirty());
    EXPECT_EQ(entry->getVersion(), 2u + 102u);

    entry->clearChanges();
    EXPECT_TRUE(entry->getFlags().isEmpty());
    EXPECT_TRUE(entry->getChanges().isEmpty());
    EXPECT_FALSE(entry->isDirty());
}

} // namespace
