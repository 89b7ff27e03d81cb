// The undo history: insertion within the size limit, identifiers, and undo and redo
// through a region volume's provider.

#include "data/CRegionData.h"
#include "data/CUndoManager.h"

#include <gtest/gtest.h>

#include <vector>

using data::CSnapshot;
using data::CUndoManager;

namespace {

// A snapshot of a given size that reports its destruction.
class CSizedSnapshot : public CSnapshot
{
public:
    CSizedSnapshot(std::size_t size, int tag, std::vector<int>& destroyed)
        : CSnapshot(1, nullptr), m_size(size), m_tag(tag), m_destroyed(destroyed) {}
    ~CSizedSnapshot() override { m_destroyed.push_back(m_tag); }
    std::size_t getDataSize() const override { return m_size; }
    int getTag() const { return m_tag; }

private:
    std::size_t m_size;
    int m_tag;
    std::vector<int>& m_destroyed;
};

std::vector<int> undoTags(const CUndoManager& history)
{
    std::vector<int> tags;
    for (std::size_t i = 0; i < history.getUndoCount(); ++i)
        tags.push_back(static_cast<const CSizedSnapshot*>(history.getUndoSnapshot(i))->getTag());
    return tags;
}

} // namespace

TEST(UndoManager, InsertEvictsOldestFirstAndNumbersSnapshots)
{
    std::vector<int> destroyed;
    {
        CUndoManager history;
        history.setLimit(100);
        history.insert(nullptr);
        EXPECT_EQ(history.getUndoCount(), 0u);
        EXPECT_EQ(history.getCounter(), 0u);

        for (int tag = 1; tag <= 3; ++tag)
            history.insert(new CSizedSnapshot(30, tag, destroyed));
        EXPECT_EQ(history.getTotalSize(), 90u);
        EXPECT_EQ(history.getUndoSnapshot(0)->getId(), 1u);
        EXPECT_EQ(history.getUndoSnapshot(2)->getId(), 3u);

        // 90 + 50 exceeds 100: the two oldest go, in that order.
        history.insert(new CSizedSnapshot(50, 4, destroyed));
        EXPECT_EQ(destroyed, (std::vector<int>{1, 2}));
        EXPECT_EQ(undoTags(history), (std::vector<int>{3, 4}));
        EXPECT_EQ(history.getTotalSize(), 80u);
        EXPECT_EQ(history.getUndoSnapshot(1)->getId(), 4u);

        // Exactly at the limit is allowed.
        history.insert(new CSizedSnapshot(20, 5, destroyed));
        EXPECT_EQ(history.getTotalSize(), 100u);
        EXPECT_EQ(history.getUndoCount(), 3u);
        destroyed.clear();
    }
    EXPECT_EQ(destroyed.size(), 3u); // the history owns what it holds
}

TEST(UndoManager, SnapshotLargerThanTheLimitIsNotRecorded)
{
    std::vector<int> destroyed;
    CUndoManager history;
    history.setLimit(100);
    history.insert(new CSizedSnapshot(40, 1, destroyed));
    history.insert(new CSizedSnapshot(40, 2, destroyed));
    history.insert(new CSizedSnapshot(101, 3, destroyed));
    // It pushed out everything on its way and was dropped itself.
    EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(history.getUndoCount(), 0u);
    EXPECT_EQ(history.getTotalSize(), 0u);
    EXPECT_EQ(history.getCounter(), 2u);

    history.insert(new CSizedSnapshot(10, 4, destroyed));
    EXPECT_EQ(history.getUndoSnapshot(0)->getId(), 3u);
}

TEST(UndoManager, UndoAndRedoThroughTheProvider)
{
    data::CRegionData regions(8, 8, 2);
    regions.fill(0);
    CUndoManager history;
    EXPECT_FALSE(history.undo());
    EXPECT_FALSE(history.redo());

    // Two commands, each recording the state before it.
    history.insert(regions.createVolumeSnapshot());
    regions.fill(1);
    history.insert(regions.createPlaneXYSnapshot(1));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            regions.at(x, y, 1) = 2;

    ASSERT_TRUE(history.undo());
    EXPECT_EQ(regions.at(3, 3, 1), 1);
    EXPECT_EQ(history.getUndoCount(), 1u);
    EXPECT_EQ(history.getRedoCount(), 1u);
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(regions.at(3, 3, 0), 0);
    EXPECT_EQ(regions.at(3, 3, 1), 0);
    EXPECT_FALSE(history.undo());

    ASSERT_TRUE(history.redo());
    EXPECT_EQ(regions.at(3, 3, 0), 1);
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(regions.at(3, 3, 1), 2);
    EXPECT_FALSE(history.redo());
    EXPECT_EQ(history.getUndoCount(), 2u);

    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < history.getUndoCount(); ++i)
        sum += history.getUndoSnapshot(i)->getDataSize();
    EXPECT_EQ(history.getTotalSize(), sum);

    // A new command after an undo makes the redo list stale.
    ASSERT_TRUE(history.undo());
    history.insert(regions.createVolumeSnapshot());
    EXPECT_EQ(history.getRedoCount(), 0u);
    EXPECT_FALSE(history.redo());
}

TEST(UndoManager, SnapshotsOfAnotherProviderAreDroppedNotRestored)
{
    data::CRegionData regions(4, 4, 1);
    data::CRegionData other(4, 4, 1);
    regions.fill(1);
    other.fill(2);
    CUndoManager history;
    history.insert(other.createVolumeSnapshot());
    other.fill(3);
    EXPECT_FALSE(history.undo(&regions));
    EXPECT_EQ(history.getUndoCount(), 0u);
    EXPECT_EQ(history.getTotalSize(), 0u);
    EXPECT_EQ(regions.at(0, 0, 0), 1);
    EXPECT_EQ(other.at(0, 0, 0), 3);
}
