// Large buffers kept out of child processes, pages mapped ahead of use, and work in shares.

#include "toolkit/img/CDataBlock.h"
#include "toolkit/sys/MemoryPages.h"
#include "toolkit/sys/Shares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// How a child process that runs `work` ends: its exit status, or 128 + the signal.
int childEnding(const std::function<int()>& work)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(work());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

constexpr std::size_t MiB = std::size_t(1) << 20;

} // namespace

TEST(MemoryPages, LargeBlocksStayOutOfChildProcessesAndOnlyThey)
{
    using Block = kvo::img::CDataBlock<std::uint16_t>;
    // A large block: the child cannot reach its inner pages, the parent keeps them whole; a
    // small block and the heap around both are the child's as ever.
    for (const bool zeroed : {false, true})
    {
        SCOPED_TRACE(zeroed ? "zeroed block" : "malloc block");
        Block* large = zeroed ? Block::createZeroed(48 * MiB / 2) : new Block(48 * MiB / 2);
        auto* small = new Block(MiB / 2);
        std::fill_n(large->getData(), large->getSize(), std::uint16_t(7));
        std::fill_n(small->getData(), small->getSize(), std::uint16_t(9));
        std::vector<int> heap(1000, 3);
        const std::uint16_t* inner = large->getData() + large->getSize() / 2;
        // (The child dies on the missing page; under a sanitizer it reports it and exits.)
        EXPECT_NE(childEnding([&] { return *inner == 7 ? 0 : 1; }), 0);
        EXPECT_EQ(childEnding([&] {
                      std::vector<char> fresh(4 * MiB, 1); // the child's own heap works
                      return small->getData()[small->getSize() - 1] == 9 && heap[999] == 3 && fresh.back() == 1 ? 0 : 1;
                  }),
                  0);
        EXPECT_EQ(*inner, 7);
        // Growing keeps the whole block out, wherever realloc puts it.
        large = Block::resize(large, 64 * MiB / 2);
        std::fill_n(large->getData(), large->getSize(), std::uint16_t(8));
        EXPECT_NE(childEnding([&] { return large->getData()[large->getSize() * 15 / 16] == 8 ? 0 : 1; }), 0);
        EXPECT_EQ(large->getData()[large->getSize() * 15 / 16], 8);
        large->release();
        small->release();
    }
    // Memory that held a freed large block is the child's again, however malloc reuses it.
    for (int round = 0; round < 3; ++round)
    {
        auto* block = new Block(48 * MiB / 2);
        block->release();
        auto* reused = static_cast<std::uint16_t*>(std::malloc(48 * MiB));
        ASSERT_NE(reused, nullptr);
        std::fill_n(reused, 24 * MiB, std::uint16_t(5));
        EXPECT_EQ(childEnding([&] { return reused[12 * MiB] == 5 ? 0 : 1; }), 0);
        std::free(reused);
    }
}

TEST(MemoryPages, MappingAheadChangesNoContents)
{
    for (const std::size_t bytes : {std::size_t(4096), 9 * MiB + 123, 40 * MiB + 4097})
        for (const auto use : {kvo::sys::CPageUse::READ, kvo::sys::CPageUse::WRITE})
        {
            SCOPED_TRACE(std::to_string(bytes) + " bytes, " + (use == kvo::sys::CPageUse::READ ? "read" : "write"));
            // Untouched zeroed memory stays zero; written memory keeps what it holds, at the
            // edges (partial pages) too.
            auto* zeroed = static_cast<unsigned char*>(std::calloc(bytes, 1));
            auto* written = static_cast<unsigned char*>(std::malloc(bytes));
            ASSERT_TRUE(zeroed && written);
            for (std::size_t i = 0; i < bytes; ++i)
                written[i] = static_cast<unsigned char>(i * 31 + 7);
            kvo::sys::mapPages(zeroed + 1, bytes - 1, use);
            kvo::sys::mapPages(written, bytes, use);
            std::size_t zeros = 0, kept = 0;
            for (std::size_t i = 0; i < bytes; ++i)
            {
                zeros += zeroed[i] == 0;
                kept += written[i] == static_cast<unsigned char>(i * 31 + 7);
            }
            EXPECT_EQ(zeros, bytes);
            EXPECT_EQ(kept, bytes);
            std::free(zeroed);
            std::free(written);
        }
}

TEST(MemoryPages, ZeroedBlocksReadZeroAndTellWhereTheirMemoryCameFrom)
{
    using Block = kvo::img::CDataBlock<std::uint16_t>;
    // Small and large (malloc's own mapping) zeroed blocks read zero and say so until their
    // memory is replaced; blocks from the allocating constructor never say so.
    for (const std::size_t count : {std::size_t(0), std::size_t(1000), 48 * MiB / 2})
    {
        SCOPED_TRACE(std::to_string(count) + " elements");
        Block* block = Block::createZeroed(count);
        EXPECT_TRUE(block->isZeroedMemory());
        EXPECT_EQ(block->getSize(), count);
        EXPECT_EQ(std::count(block->getData(), block->getData() + count, std::uint16_t(0)), std::ptrdiff_t(count));
        block = Block::resize(block, count / 2 + 1); // within the block: the same memory
        EXPECT_EQ(block->isZeroedMemory(), count / 2 + 1 <= count);
        block = Block::resize(block, count * 3 + 10); // reallocated
        EXPECT_FALSE(block->isZeroedMemory());
        block->release();
        Block* plain = new Block(count);
        EXPECT_FALSE(plain->isZeroedMemory());
        plain->release();
    }
    EXPECT_THROW(Block::createZeroed(SIZE_MAX / 2 + 1), std::bad_alloc); // refused before calloc
}

TEST(Shares, EveryShareRunsOnceAndTheirCountStaysInBounds)
{
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    for (const std::size_t most : {std::size_t(1), std::size_t(2), std::size_t(4), std::size_t(64)})
        for (const std::size_t useful : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(1000)})
            EXPECT_EQ(kvo::sys::shareCount(most, useful), std::max<std::size_t>(1, std::min({processors, most, useful})));
    for (const std::size_t shares : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(40)})
    {
        std::vector<std::atomic<int>> runs(shares);
        std::atomic<int> here{0};
        const std::thread::id caller = std::this_thread::get_id();
        kvo::sys::runShares(shares, [&](std::size_t k) {
            ++runs[k];
            if (k == 0 && std::this_thread::get_id() == caller)
                ++here;
        });
        for (std::size_t k = 0; k < shares; ++k)
            EXPECT_EQ(runs[k].load(), 1) << "share " << k << " of " << shares;
        EXPECT_EQ(here.load(), shares > 0 ? 1 : 0);
    }
}
