#include "toolkit/img/CFillFunctor.h"
#include "toolkit/img/CMaximumFunctor.h"
#include "toolkit/img/CReplaceFunctor.h"
#include "toolkit/img/CVolume.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

using kvo::img::CVolume;
using tLabels = CVolume<std::uint16_t>;
using tDensities = CVolume<std::int16_t>;

namespace {

// Gives every element of the buffer, margins included, a value that tells where it is.
void numberEverything(tLabels& volume)
{
    const int m = volume.getMargin();
    for (int z = -m; z < volume.getZSize() + m; ++z)
        for (int y = -m; y < volume.getYSize() + m; ++y)
            for (int x = -m; x < volume.getXSize() + m; ++x)
                volume.at(x, y, z) = std::uint16_t(1000 + (z + m) * 100 + (y + m) * 10 + (x + m));
}

bool isInterior(const tLabels& volume, int x, int y, int z)
{
    return x >= 0 && y >= 0 && z >= 0 && x < volume.getXSize() && y < volume.getYSize() && z < volume.getZSize();
}

} // namespace

TEST(Volume, LayoutOfFourByThreeByTwoWithMarginOne)
{
    tLabels volume(4, 3, 2, 1);
    EXPECT_EQ(volume.getXSize(), 4);
    EXPECT_EQ(volume.getYSize(), 3);
    EXPECT_EQ(volume.getZSize(), 2);
    EXPECT_EQ(volume.getMargin(), 1);
    EXPECT_EQ(volume.getXOffset(), 1);
    EXPECT_EQ(volume.getYOffset(), 6);
    EXPECT_EQ(volume.getZOffset(), 30);
    EXPECT_EQ(volume.getBufferSize(), 120u);
    EXPECT_EQ(volume.getBlock()->getSize(), 120u);
    EXPECT_EQ(volume.getPtr() - volume.getBlock()->getData(), 37);

    // The corners of the buffer are the first and last margin voxels.
    EXPECT_EQ(volume.getPtr(-1, -1, -1), volume.getBlock()->getData());
    EXPECT_EQ(volume.getPtr(4, 3, 2), volume.getBlock()->getData() + 119);
    EXPECT_EQ(volume.getIdx(1, 2, 1), 1 + 2 * 6 + 30);
    EXPECT_EQ(volume.getRowPtr(2, 1), volume.getPtr(0, 2, 1));
    volume.at(3, 2, 1) = 77;
    EXPECT_EQ(volume.getPtr()[3 + 2 * volume.getYOffset() + volume.getZOffset()], 77);
}

TEST(Volume, DefaultAndZeroSizedVolumesHoldNothing)
{
    tLabels empty;
    EXPECT_EQ(empty.getXSize(), 0);
    EXPECT_EQ(empty.getZOffset(), 0);
    EXPECT_EQ(empty.getBufferSize(), 0u);
    EXPECT_EQ(empty.getPtr(), empty.getBlock()->getData());
    EXPECT_EQ(empty.fill(5), 5);
    EXPECT_EQ(empty.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(3)).getValue(), 3);

    // A zero-sized volume with a margin still has its border.
    tLabels border(0, 0, 0, 1);
    EXPECT_EQ(border.getBufferSize(), 8u);
    EXPECT_EQ(border.getPtr() - border.getBlock()->getData(), 7);
}

TEST(Volume, NegativeSizesAreRefused)
{
    EXPECT_THROW(tLabels(-1, 2, 2, 0), tLabels::CBadSize);
    EXPECT_THROW(tLabels(2, 2, 2, -1), tLabels::CBadSize);
    tLabels volume(2, 2, 2, 0);
    volume.fill(9);
    EXPECT_THROW(volume.resize(2, -2, 2, 0), tLabels::CBadSize);
    EXPECT_EQ(volume.getYSize(), 2);
    EXPECT_EQ(volume.at(1, 1, 1), 9);
}

TEST(Volume, ImpossibleSizesThrowBadAllocAndLeaveVolumeAlone)
{
    EXPECT_THROW(tLabels(1 << 30, 1 << 30, 4, 0), std::bad_alloc);
    tLabels volume(3, 3, 3, 1);
    volume.fill(4);
    // Slices of 2^32 elements cannot be addressed with 32-bit offsets: refused before any
    // allocation is tried.
    EXPECT_THROW(volume.resize(1 << 16, 1 << 16, 1, 0), std::bad_alloc);
    EXPECT_EQ(volume.getXSize(), 3);
    EXPECT_EQ(volume.getMargin(), 1);
    EXPECT_EQ(volume.at(2, 2, 2), 4);
}

TEST(Volume, FillLeavesMarginsAlone)
{
    tLabels volume(4, 3, 2, 1);
    numberEverything(volume);
    const tLabels before(volume);
    EXPECT_EQ(volume.fill(5), 5);
    for (int z = -1; z < 3; ++z)
        for (int y = -1; y < 4; ++y)
            for (int x = -1; x < 5; ++x)
                EXPECT_EQ(volume.at(x, y, z), isInterior(volume, x, y, z) ? 5 : before.at(x, y, z))
                    << x << "," << y << "," << z;
}

TEST(Volume, FillMarginLeavesInteriorAlone)
{
    tLabels volume(3, 4, 2, 2);
    numberEverything(volume);
    const tLabels before(volume);
    volume.fillMargin(0);
    for (int z = -2; z < 4; ++z)
        for (int y = -2; y < 6; ++y)
            for (int x = -2; x < 5; ++x)
                EXPECT_EQ(volume.at(x, y, z), isInterior(volume, x, y, z) ? before.at(x, y, z) : 0)
                    << x << "," << y << "," << z;
}

TEST(Volume, CopyConstructionCopiesEverythingIntoPrivateBuffer)
{
    tLabels original(4, 3, 2, 1);
    numberEverything(original);
    tLabels copy(original);
    EXPECT_NE(copy.getBlock(), original.getBlock());
    EXPECT_EQ(copy.getBlock()->getReferencesCount(), 1);
    EXPECT_EQ(copy.getYOffset(), 6);
    EXPECT_EQ(copy.getZOffset(), 30);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(copy.getBlock()->getData()[i], original.getBlock()->getData()[i]);
    copy.at(0, 0, 0) = 1;
    EXPECT_NE(original.at(0, 0, 0), 1);
}

TEST(Volume, CopyTakesSizesAndMarginOfSource)
{
    tLabels source(3, 2, 2, 2);
    numberEverything(source);
    tLabels destination(5, 5, 5, 0);
    destination.fill(1);
    destination.copy(source);
    EXPECT_EQ(destination.getXSize(), 3);
    EXPECT_EQ(destination.getMargin(), 2);
    EXPECT_EQ(destination.getYOffset(), 7);
    EXPECT_EQ(destination.getZOffset(), 42);
    for (int z = -2; z < 4; ++z)
        for (int y = -2; y < 4; ++y)
            for (int x = -2; x < 5; ++x)
                ASSERT_EQ(destination.at(x, y, z), source.at(x, y, z)) << x << "," << y << "," << z;

    // Assignment is the same operation; copying itself changes nothing.
    tLabels other;
    other = source;
    EXPECT_EQ(other.at(-2, -2, -2), source.at(-2, -2, -2));
    other.copy(other);
    EXPECT_EQ(other.at(2, 1, 1), source.at(2, 1, 1));
}

TEST(Volume, BlockCopyFromSmallerVolumeChangesOnlyOverlap)
{
    tLabels destination(4, 4, 4, 1);
    destination.fillEntire(9);
    tLabels source(2, 3, 5, 0);
    source.fill(0);
    source.forEach([n = 100](std::uint16_t& v) mutable { v = std::uint16_t(n++); });

    destination.copyBlock(source);
    EXPECT_EQ(destination.getXSize(), 4);
    EXPECT_EQ(destination.getMargin(), 1);
    for (int z = -1; z < 5; ++z)
        for (int y = -1; y < 5; ++y)
            for (int x = -1; x < 5; ++x)
            {
                const bool overlap = x >= 0 && y >= 0 && z >= 0 && x < 2 && y < 3 && z < 4;
                EXPECT_EQ(destination.at(x, y, z), overlap ? source.at(x, y, z) : 9) << x << "," << y << "," << z;
            }
}

TEST(Volume, BlockCopyFromLargerVolumeFillsOnlyInterior)
{
    tLabels destination(2, 2, 2, 1);
    destination.fillEntire(9);
    tLabels source(5, 5, 5, 2);
    numberEverything(source);
    destination.copyBlock(source);
    for (int z = -1; z < 3; ++z)
        for (int y = -1; y < 3; ++y)
            for (int x = -1; x < 3; ++x)
                EXPECT_EQ(destination.at(x, y, z), isInterior(destination, x, y, z) ? source.at(x, y, z) : 9);

    // Through the virtual slot, and onto itself: nothing changes.
    kvo::img::CVolume<std::uint16_t>& asBase = destination;
    const tLabels before(destination);
    asBase.copyBlock(destination);
    EXPECT_EQ(destination.at(1, 1, 1), before.at(1, 1, 1));
}

TEST(Volume, ResizeKeepsBufferWithinHalfOfOldCount)
{
    tLabels volume(10, 10, 10, 0);
    tLabels::tDataBlock* block = volume.getBlock();
    std::uint16_t* memory = block->getData();

    volume.resize(9, 10, 10, 0); // 900 lies in [500, 1000]
    EXPECT_EQ(volume.getBlock(), block);
    EXPECT_EQ(volume.getBlock()->getData(), memory);
    EXPECT_EQ(volume.getBlock()->getSize(), 900u);
    EXPECT_EQ(volume.getXSize(), 9);
    EXPECT_EQ(volume.getYOffset(), 9);
    EXPECT_EQ(volume.getZOffset(), 90);

    // Half of the current count (rounded down) is still kept: 450.
    volume.resize(9, 10, 5, 0);
    EXPECT_EQ(volume.getBlock()->getData(), memory);
    EXPECT_EQ(volume.getBlock()->getSize(), 450u);
}

TEST(Volume, ResizeReallocatesOutsideThatRangeMovingContents)
{
    tLabels volume(10, 10, 10, 0);
    volume.forEach([n = 0](std::uint16_t& v) mutable { v = std::uint16_t(n++); });
    tLabels::tDataBlock* block = volume.getBlock();

    volume.resize(4, 10, 10, 0); // 400 < 500: realloc
    EXPECT_EQ(volume.getBlock(), block);
    EXPECT_EQ(volume.getBlock()->getSize(), 400u);
    // realloc moves the first 400 elements along.
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(volume.getBlock()->getData()[i], i);

    volume.resize(20, 20, 20, 1); // growth always reallocates
    EXPECT_EQ(volume.getBlock()->getSize(), 22u * 22u * 22u);
    EXPECT_EQ(volume.getPtr() - volume.getBlock()->getData(), 22 * 22 + 22 + 1);
}

TEST(Volume, ResizeToSameLayoutKeepsValues)
{
    tLabels volume(4, 3, 2, 1);
    numberEverything(volume);
    const tLabels before(volume);
    std::uint16_t* memory = volume.getBlock()->getData();
    volume.resize(4, 3, 2, 1);
    EXPECT_EQ(volume.getBlock()->getData(), memory);
    EXPECT_EQ(volume.at(3, 2, 1), before.at(3, 2, 1));
    EXPECT_EQ(volume.at(-1, -1, -1), before.at(-1, -1, -1));
}

TEST(Volume, SharedBufferIsDetachedOnResizeAndCopy)
{
    tLabels owner(4, 3, 2, 1);
    numberEverything(owner);
    tLabels::tDataBlock* block = owner.getBlock();
    {
        tLabels sharer(*block, 4, 3, 2, 1);
        EXPECT_EQ(block->getReferencesCount(), 2);
        EXPECT_EQ(sharer.at(2, 1, 1), owner.at(2, 1, 1));
        sharer.at(2, 1, 1) = 5;
        EXPECT_EQ(owner.at(2, 1, 1), 5);

        // Same layout: detached, values kept, the owner no longer sees writes.
        sharer.resize(4, 3, 2, 1);
        EXPECT_NE(sharer.getBlock(), block);
        EXPECT_EQ(block->getReferencesCount(), 1);
        EXPECT_EQ(sharer.at(2, 1, 1), 5);
        EXPECT_EQ(sharer.at(-1, 3, 2), owner.at(-1, 3, 2));
        sharer.at(2, 1, 1) = 6;
        EXPECT_EQ(owner.at(2, 1, 1), 5);
    }
    {
        // Smaller layout on a shared block: a fresh block even within the keep range.
        tLabels sharer(*block, 4, 3, 2, 1);
        sharer.resize(4, 3, 1, 1);
        EXPECT_NE(sharer.getBlock(), block);
        EXPECT_EQ(block->getReferencesCount(), 1);
        EXPECT_EQ(block->getSize(), 120u);
    }
    {
        // Copy into a sharer of the source gives it a private copy.
        tLabels sharer(*block, 4, 3, 2, 1);
        sharer.copy(owner);
        EXPECT_NE(sharer.getBlock(), block);
        EXPECT_EQ(sharer.at(-1, -1, -1), owner.at(-1, -1, -1));
        EXPECT_EQ(sharer.at(2, 1, 1), 5);
    }
    EXPECT_THROW(tLabels(*block, 5, 3, 2, 1), tLabels::CBadSize);
    EXPECT_EQ(block->getReferencesCount(), 1);
}

TEST(Volume, BlockCopyBetweenSharersOfOneBufferIsHarmless)
{
    tLabels owner(3, 3, 3, 0);
    numberEverything(owner);
    const tLabels before(owner);
    tLabels sharer(*owner.getBlock(), 3, 3, 3, 0);
    sharer.copyBlock(owner);
    EXPECT_EQ(owner.at(2, 2, 2), before.at(2, 2, 2));
}

namespace {

// An object that keeps external memory alive, as a snapshot or a foreign buffer would.
class CMemoryOwner : public kvo::base::CObject
{
public:
    std::vector<std::uint16_t> memory = std::vector<std::uint16_t>(64, 3);
};

} // namespace

TEST(Volume, ResizeDropsExternalOwnerWhenBlockMustGrow)
{
    CMemoryOwner* owner = new CMemoryOwner;
    kvo::base::CRefPtr<CMemoryOwner> watch(owner);
    EXPECT_EQ(owner->getReferencesCount(), 1);

    auto* block = new tLabels::tDataBlock(owner->memory.data(), 64, *owner);
    EXPECT_EQ(owner->getReferencesCount(), 2);
    tLabels volume(*block, 4, 4, 4, 0);
    block->release(); // the volume holds the only reference now
    EXPECT_EQ(volume.at(3, 3, 3), 3);

    volume.resize(4, 4, 3, 0); // 48 in [32, 64]: kept, owner stays
    EXPECT_EQ(volume.getBlock()->getData(), owner->memory.data());
    EXPECT_EQ(owner->getReferencesCount(), 2);

    volume.resize(8, 8, 8, 0); // the owner is let go, fresh memory
    EXPECT_FALSE(volume.getBlock()->hasOwner());
    EXPECT_NE(volume.getBlock()->getData(), owner->memory.data());
    EXPECT_EQ(owner->getReferencesCount(), 1);
    volume.fill(1); // the fresh memory is really ours
    EXPECT_EQ(owner->memory[0], 3);
}

TEST(Volume, FunctorsVisitInteriorOnlyInOrder)
{
    tLabels volume(3, 2, 2, 1);
    volume.fillEntire(50);
    std::vector<int> order;
    volume.forEach([&order, n = 0](std::uint16_t& v) mutable {
        v = std::uint16_t(n);
        order.push_back(n++);
    });
    ASSERT_EQ(order.size(), 12u);
    EXPECT_EQ(volume.at(0, 0, 0), 0);
    EXPECT_EQ(volume.at(2, 0, 0), 2);
    EXPECT_EQ(volume.at(0, 1, 0), 3);
    EXPECT_EQ(volume.at(0, 0, 1), 6);
    EXPECT_EQ(volume.at(2, 1, 1), 11);

    volume.forEach(kvo::img::CReplaceFunctor<std::uint16_t>(4, 40));
    EXPECT_EQ(volume.at(1, 1, 0), 40);
    EXPECT_EQ(volume.at(-1, 0, 0), 50); // margin keeps its 50 although 50 is not 4 either
    volume.forEach(kvo::img::CReplaceFunctor<std::uint16_t>(50, 0));
    EXPECT_EQ(volume.at(-1, 0, 0), 50);

    volume.forEach(kvo::img::CFillFunctor<std::uint16_t>(8));
    EXPECT_EQ(volume.at(2, 1, 1), 8);
    EXPECT_EQ(volume.at(3, 1, 1), 50);
    EXPECT_EQ(volume.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(0)).getValue(), 8);
}

TEST(Volume, MaximumComparesAsUnsigned)
{
    tLabels labels(3, 1, 1, 1);
    labels.fillEntire(0xFFFE); // a larger value in the margin must not count
    labels.at(0, 0, 0) = 0;
    labels.at(1, 0, 0) = 7;
    labels.at(2, 0, 0) = 65535;
    EXPECT_EQ(labels.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(0)).getValue(), 65535);
    labels.at(2, 0, 0) = 3;
    EXPECT_EQ(labels.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(0)).getValue(), 7);
    EXPECT_EQ(labels.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(9)).getValue(), 9);

    // A signed -1 is 0xFFFF and wins over 7 and over 32767.
    tDensities densities(3, 1, 1, 0);
    densities.at(0, 0, 0) = 32767;
    densities.at(1, 0, 0) = -1;
    densities.at(2, 0, 0) = 7;
    EXPECT_EQ(densities.forEach(kvo::img::CMaximumFunctor<std::int16_t>(0)).getValue(), -1);
    const tDensities& readOnly = densities;
    EXPECT_EQ(readOnly.forEach(kvo::img::CMaximumFunctor<std::int16_t>(-2)).getValue(), -1);
}

TEST(Volume, SwapVoxelsExchangesBuffersOfEqualLayoutsOnly)
{
    tLabels first(4, 3, 2, 1), second(4, 3, 2, 1);
    numberEverything(first);
    second.fillEntire(7);
    const tLabels expectFirst(first);
    tLabels::tDataBlock* const firstBlock = first.getBlock();
    first.swapVoxels(second);
    EXPECT_EQ(second.getBlock(), firstBlock);
    const int m = 1;
    for (int z = -m; z < 2 + m; ++z)
        for (int y = -m; y < 3 + m; ++y)
            for (int x = -m; x < 4 + m; ++x)
            {
                ASSERT_EQ(first.at(x, y, z), 7);
                ASSERT_EQ(second.at(x, y, z), expectFirst.at(x, y, z));
            }
    // Another size or margin is refused and leaves both as they were.
    for (const auto& [x, y, z, margin] : std::vector<std::array<int, 4>>{{4, 3, 1, 1}, {4, 3, 2, 0}, {3, 4, 2, 1}})
    {
        tLabels other(x, y, z, margin);
        other.fillEntire(9);
        EXPECT_THROW(first.swapVoxels(other), tLabels::CBadSize);
        EXPECT_EQ(first.at(0, 0, 0), 7);
        EXPECT_EQ(other.at(0, 0, 0), 9);
    }
    // A volume sharing the old buffer keeps seeing it.
    tLabels sharer(*second.getBlock(), 4, 3, 2, 1);
    tLabels fresh(4, 3, 2, 1);
    fresh.fillEntire(3);
    second.swapVoxels(fresh);
    EXPECT_EQ(sharer.at(2, 1, 1), expectFirst.at(2, 1, 1));
    EXPECT_EQ(second.at(2, 1, 1), 3);
}
