#include "host/import/CDensityRange.h"
#include "host/import/CVolumeLimits.h"
#include "host/import/CImportError.h"

#include <gtest/gtest.h>

using velmora::import::CDensityRange;
using velmora::import::CImportError;
using velmora::import::CVolumeLimits;

TEST(DensityRange, FindsExtremesAndHandlesEmptyVolume)
{
    const CDensityRange range = CDensityRange::of({5, -32768, 7, 32767, 0});
    EXPECT_EQ(range.min, -32768);
    EXPECT_EQ(range.max, 32767);
    EXPECT_EQ(range.count, 5u);

    const CDensityRange single = CDensityRange::of({-3});
    EXPECT_EQ(single.min, -3);
    EXPECT_EQ(single.max, -3);

    const CDensityRange empty = CDensityRange::of({});
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.min, 0);
    EXPECT_EQ(empty.max, 0);
}

TEST(VolumeLimits, RefusesSizesThatCannotBeAllocatedSafely)
{
    EXPECT_EQ(CVolumeLimits::checkedVoxelCount(512, 512, 400, "x"), 512u * 512u * 400u);
    EXPECT_EQ(CVolumeLimits::checkedVoxelCount(65536, 32768, 1, "x"), std::size_t(1) << 31);
    EXPECT_THROW(CVolumeLimits::checkedVoxelCount(65536, 32768, 2, "x"), CImportError);
    EXPECT_THROW(CVolumeLimits::checkedVoxelCount(65536, 65536, 65536, "x"), CImportError);
    EXPECT_THROW(CVolumeLimits::checkedVoxelCount(std::int64_t(1) << 40, 1, 1, "x"), CImportError);
    EXPECT_THROW(CVolumeLimits::checkedVoxelCount(0, 5, 5, "x"), CImportError);
    EXPECT_THROW(CVolumeLimits::checkedVoxelCount(5, 5, -5, "x"), CImportError);
    try {
        CVolumeLimits::checkedVoxelCount(0, 5, 5, "NIfTI file a.nii");
        FAIL();
    } catch (const CImportError& error) {
        EXPECT_STREQ(error.what(), "NIfTI file a.nii: 0 x 5 x 5 voxels is not a valid volume size (every dimension must be at least 1)");
    }
}
