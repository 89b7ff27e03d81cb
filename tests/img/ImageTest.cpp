#include "toolkit/img/CImage.h"
#include "toolkit/img/CMaximumFunctor.h"

#include <gtest/gtest.h>

#include <cstdint>

using tImage = kvo::img::CImage<std::uint16_t>;

namespace {

void numberEverything(tImage& image)
{
    const int m = image.getMargin();
    for (int y = -m; y < image.getYSize() + m; ++y)
        for (int x = -m; x < image.getXSize() + m; ++x)
            image.at(x, y) = std::uint16_t(100 + (y + m) * 10 + (x + m));
}

bool isInterior(const tImage& image, int x, int y)
{
    return x >= 0 && y >= 0 && x < image.getXSize() && y < image.getYSize();
}

} // namespace

TEST(Image, LayoutWithMargin)
{
    tImage image(4, 3, 1);
    EXPECT_EQ(image.getYOffset(), 6);
    EXPECT_EQ(image.getBufferSize(), 30u);
    EXPECT_EQ(image.getPtr() - image.getBlock()->getData(), 7);
    EXPECT_EQ(image.getPtr(-1, -1), image.getBlock()->getData());
    EXPECT_EQ(image.getPtr(4, 3), image.getBlock()->getData() + 29);
    EXPECT_EQ(image.getRowPtr(2), image.getPtr() + 12);

    tImage empty;
    EXPECT_EQ(empty.getBufferSize(), 0u);
    EXPECT_THROW(tImage(2, -1, 0), tImage::CBadSize);
    EXPECT_THROW(tImage(1 << 30, 8, 1 << 30), std::bad_alloc);
}

TEST(Image, FillAndFillMarginSplitInteriorFromBorder)
{
    tImage image(3, 2, 2);
    numberEverything(image);
    const tImage before(image);
    EXPECT_EQ(image.fill(7), 7);
    for (int y = -2; y < 4; ++y)
        for (int x = -2; x < 5; ++x)
            EXPECT_EQ(image.at(x, y), isInterior(image, x, y) ? 7 : before.at(x, y));

    image.fillMargin(1);
    for (int y = -2; y < 4; ++y)
        for (int x = -2; x < 5; ++x)
            EXPECT_EQ(image.at(x, y), isInterior(image, x, y) ? 7 : 1);
    EXPECT_EQ(image.forEach(kvo::img::CMaximumFunctor<std::uint16_t>(0)).getValue(), 7);
}

TEST(Image, CopiesAndBlockCopies)
{
    tImage source(3, 3, 1);
    numberEverything(source);

    tImage copy(source);
    EXPECT_NE(copy.getBlock(), source.getBlock());
    EXPECT_EQ(copy.at(-1, -1), source.at(-1, -1));
    EXPECT_EQ(copy.at(3, 3), source.at(3, 3));

    tImage assigned(10, 1, 0);
    assigned = source;
    EXPECT_EQ(assigned.getXSize(), 3);
    EXPECT_EQ(assigned.getMargin(), 1);
    EXPECT_EQ(assigned.at(3, -1), source.at(3, -1));

    tImage small(2, 5, 0);
    small.fill(0);
    small.copyBlock(source);
    EXPECT_EQ(small.at(1, 2), source.at(1, 2));
    EXPECT_EQ(small.at(1, 3), 0);
    EXPECT_EQ(small.at(0, 4), 0);
}

TEST(Image, ResizeFollowsVolumeRules)
{
    tImage image(10, 10, 0);
    std::uint16_t* memory = image.getBlock()->getData();
    image.resize(5, 10, 0); // 50 of 100: kept
    EXPECT_EQ(image.getBlock()->getData(), memory);
    EXPECT_EQ(image.getBlock()->getSize(), 50u);
    image.resize(7, 7, 1); // 81 > 50: reallocated in the same block object
    EXPECT_EQ(image.getBlock()->getSize(), 81u);
    EXPECT_EQ(image.getPtr() - image.getBlock()->getData(), 10);

    numberEverything(image);
    tImage sharer(*image.getBlock(), 7, 7, 1);
    EXPECT_EQ(image.getBlock()->getReferencesCount(), 2);
    sharer.resize(7, 7, 1); // detached, values kept
    EXPECT_EQ(image.getBlock()->getReferencesCount(), 1);
    EXPECT_NE(sharer.getBlock(), image.getBlock());
    EXPECT_EQ(sharer.at(6, 6), image.at(6, 6));
    EXPECT_EQ(sharer.at(-1, 7), image.at(-1, 7));
}
