#include "toolkit/base/CSmallObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using kvo::base::CFixedAllocator;
using kvo::base::CSmallObjectAllocator;

namespace {

TEST(SmallObjectAllocator, PoolGeometry)
{
    CSmallObjectAllocator allocator(4096, 256, 4);
    EXPECT_EQ(allocator.getNumOfPools(), 64u);
    // Sizes 4 to 16 are capped at 255 blocks; 256-byte blocks get 16 per chunk.
    EXPECT_EQ(allocator.getPool(1).getBlockSize(), 4u);
    EXPECT_EQ(allocator.getPool(0).getBlockSize(), 4u);
    EXPECT_EQ(allocator.getPool(4).getBlocksPerChunk(), 255);
    EXPECT_EQ(allocator.getPool(16).getBlocksPerChunk(), 255);
    EXPECT_EQ(allocator.getPool(20).getBlocksPerChunk(), 4096 / 20);
    EXPECT_EQ(allocator.getPool(253).getBlockSize(), 256u);
    EXPECT_EQ(allocator.getPool(256).getBlocksPerChunk(), 16);
}

TEST(SmallObjectAllocator, LargeRequestsBypassThePools)
{
    CSmallObjectAllocator allocator(4096, 256, 4);
    void* large = allocator.allocate(257);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(allocator.getPool(256).getNumOfChunks(), 0u);
    allocator.deallocate(large, 257);

    void* small = allocator.allocate(256);
    EXPECT_EQ(allocator.getPool(256).getNumOfChunks(), 1u);
    EXPECT_EQ(allocator.getPool(256).getNumOfUsedBlocks(), 1u);
    allocator.deallocate(small, 256);
    EXPECT_EQ(allocator.getPool(256).getNumOfUsedBlocks(), 0u);

    allocator.deallocate(nullptr, 16); // does nothing
    allocator.deallocate(nullptr, 1000);
}

TEST(SmallObjectAllocator, ChunkLimitAndReuse)
{
    CSmallObjectAllocator allocator(4096, 256, 4);
    std::vector<void*> blocks;
    for (int i = 0; i < 256; ++i)
        blocks.push_back(allocator.allocate(4));
    const CFixedAllocator& pool = allocator.getPool(4);
    EXPECT_EQ(pool.getNumOfChunks(), 2u); // 255 + 1
    EXPECT_EQ(pool.getChunkCapacity(), 8u);
    // Distinct blocks, 4 bytes apart within a chunk.
    std::vector<void*> sorted = blocks;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(static_cast<char*>(blocks[1]) - static_cast<char*>(blocks[0]), 4);

    // A released block of the chunk being allocated from is the next one handed out;
    // a block released in a full chunk is reused once the current chunk fills.
    allocator.deallocate(blocks[255], 4);
    EXPECT_EQ(allocator.allocate(4), blocks[255]);
    allocator.deallocate(blocks[100], 4);
    for (int i = 0; i < 254; ++i)
        allocator.allocate(4);
    EXPECT_EQ(pool.getNumOfChunks(), 2u);
    EXPECT_EQ(allocator.allocate(4), blocks[100]);
    EXPECT_EQ(pool.getNumOfChunks(), 2u);
    EXPECT_NE(allocator.allocate(4), nullptr);
    EXPECT_EQ(pool.getNumOfChunks(), 3u);
}

TEST(SmallObjectAllocator, FreeChunksReserveAndRelease)
{
    CSmallObjectAllocator allocator(4096, 256, 4);
    const CFixedAllocator& pool = allocator.getPool(64);
    const int perChunk = pool.getBlocksPerChunk();
    std::vector<void*> first, second, third;
    for (int i = 0; i < perChunk; ++i)
        first.push_back(allocator.allocate(64));
    for (int i = 0; i < perChunk; ++i)
        second.push_back(allocator.allocate(64));
    third.push_back(allocator.allocate(64));
    ASSERT_EQ(pool.getNumOfChunks(), 3u);

    // Emptying one chunk keeps it as the reserve.
    for (void* p : first)
        allocator.deallocate(p, 64);
    EXPECT_EQ(pool.getNumOfChunks(), 3u);
    EXPECT_TRUE(pool.hasReserveChunk());
    // Emptying a second one gives one of the two back to the heap.
    for (void* p : second)
        allocator.deallocate(p, 64);
    EXPECT_EQ(pool.getNumOfChunks(), 2u);
    EXPECT_TRUE(pool.hasReserveChunk());
    EXPECT_EQ(pool.getNumOfUsedBlocks(), 1u);

    // The reserve serves the next allocations before any new chunk is made.
    for (int i = 0; i < perChunk; ++i)
        first[i] = allocator.allocate(64);
    EXPECT_EQ(pool.getNumOfChunks(), 2u);
    EXPECT_FALSE(pool.hasReserveChunk());

    // Trimming frees the reserve only.
    for (void* p : first)
        allocator.deallocate(p, 64);
    EXPECT_TRUE(allocator.trimExcessMemory());
    EXPECT_EQ(pool.getNumOfChunks(), 1u);
    EXPECT_EQ(pool.getNumOfUsedBlocks(), 1u);
    allocator.deallocate(third[0], 64);
}

TEST(SmallObjectAllocator, ReleaseFindsTheOwningChunkInAnyOrder)
{
    // Outward search from the last release must find blocks far below and above it.
    CSmallObjectAllocator allocator(4096, 256, 4);
    std::mt19937 random(7);
    for (std::size_t size : {8u, 52u, 200u})
    {
        std::vector<void*> blocks;
        for (int i = 0; i < 3000; ++i)
        {
            blocks.push_back(allocator.allocate(size));
            *static_cast<unsigned char*>(blocks.back()) = 0xAB; // blocks are writable
        }
        std::shuffle(blocks.begin(), blocks.end(), random);
        for (std::size_t i = 0; i < blocks.size() / 2; ++i)
            allocator.deallocate(blocks[i], size);
        blocks.erase(blocks.begin(), blocks.begin() + blocks.size() / 2);
        for (int i = 0; i < 1000; ++i)
            blocks.push_back(allocator.allocate(size));
        std::vector<void*> sorted = blocks;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << size;
        EXPECT_EQ(allocator.getPool(size).getNumOfUsedBlocks(), blocks.size());
        std::shuffle(blocks.begin(), blocks.end(), random);
        for (void* p : blocks)
            allocator.deallocate(p, size);
        EXPECT_EQ(allocator.getPool(size).getNumOfUsedBlocks(), 0u);
        EXPECT_LE(allocator.getPool(size).getNumOfChunks(), 1u);
    }
}

TEST(SmallObjectAllocator, ForeignBlockIsIgnored)
{
    CSmallObjectAllocator allocator(4096, 256, 4);
    void* p = allocator.allocate(12);
    int local = 0;
    allocator.deallocate(&local, 12); // no chunk holds it: nothing changes
    EXPECT_EQ(allocator.getPool(12).getNumOfUsedBlocks(), 1u);
    allocator.deallocate(p, 12);
}

struct CProbe : public kvo::base::CSmallObject<>
{
    double value[5] = {};
};
struct CDerivedProbe : public CProbe
{
    double more[20] = {};
};
struct CHugeProbe : public kvo::base::CSmallValueObject<>
{
    char bytes[300] = {};
};

TEST(SmallObjectAllocator, ClassesUseTheLibraryAllocator)
{
    auto& allocator = kvo::base::CSmallObjectBase<>::getAllocator();
    const std::size_t before = allocator.getPool(sizeof(CDerivedProbe)).getNumOfUsedBlocks();
    CProbe* probe = new CDerivedProbe;
    EXPECT_EQ(allocator.getPool(sizeof(CDerivedProbe)).getNumOfUsedBlocks(), before + 1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(probe) % alignof(CDerivedProbe), 0u);
    delete probe; // the virtual destructor hands the dynamic size back
    EXPECT_EQ(allocator.getPool(sizeof(CDerivedProbe)).getNumOfUsedBlocks(), before);

    CHugeProbe* huge = new CHugeProbe;
    huge->bytes[299] = 1;
    delete huge;
}

} // namespace
