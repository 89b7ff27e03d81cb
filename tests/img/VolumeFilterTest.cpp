#include "toolkit/img/CVolume.h"
#include "toolkit/img/CVolumeFilter.h"
#include "toolkit/img/CVolumeMedianFilter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <vector>

namespace {

using tLabels = kvo::img::CVolume<std::uint16_t>;

// A label volume derived from the volume class, as the region data is.
class CLabelData : public tLabels
{
public:
    using tLabels::tLabels;
};

// Adds one to every label, one slice per progress step, the way concrete filters report.
class CIncrementFilter : public kvo::img::CVolumeFilter<CLabelData>
{
public:
    bool operator()(const CLabelData& source, CLabelData& destination) override
    {
        beginProgress(source.getZSize());
        for (int z = 0; z < source.getZSize(); ++z)
        {
            for (int y = 0; y < source.getYSize(); ++y)
            {
                const tVoxel* in = source.getRowPtr(y, z);
                tVoxel* out = destination.getRowPtr(y, z);
                for (int x = 0; x < source.getXSize(); ++x)
                    out[x] = tVoxel(in[x] + 1);
            }
            if (!progress())
                return false;
        }
        return true;
    }
};

// The median algorithm is defined with the label post-processing; its declaration must fit
// a volume class derived from CVolume.
static_assert(std::is_base_of_v<kvo::img::CVolumeFilter<CLabelData>, kvo::img::CVolumeMedianFilter<CLabelData>>);
static_assert(std::is_same_v<kvo::img::CVolumeMedianFilter<CLabelData>::tVoxel, std::uint16_t>);

} // namespace

TEST(VolumeFilter, RunsThroughBaseAndStopsWhenCallbackSaysSo)
{
    CLabelData source(2, 2, 4, 1);
    source.fill(1);
    CLabelData destination(source);
    destination.fill(0);

    CIncrementFilter increment;
    kvo::img::CVolumeFilter<CLabelData>& filter = increment;
    EXPECT_TRUE(filter(source, destination));
    EXPECT_EQ(destination.at(1, 1, 3), 2);
    EXPECT_EQ(increment.getProgressCounter(), 4);

    std::vector<int> reports;
    destination.fill(0);
    filter.setProgressCallback(kvo::img::CVolumeFilter<CLabelData>::tProgressCallback(
        [&reports](int current, int total) {
            reports.push_back(current * 10 + total);
            return current < 2;
        }));
    EXPECT_FALSE(filter(source, destination));
    EXPECT_EQ(reports, (std::vector<int>{14, 24}));
    EXPECT_EQ(destination.at(0, 0, 1), 2);
    EXPECT_EQ(destination.at(0, 0, 2), 0);
}

TEST(VolumeFilter, BooleanMaskVolume)
{
    // The structuring elements of the morphology filters are bool volumes.
    kvo::img::CVolume<bool> mask(3, 3, 3, 0);
    mask.fill(true);
    mask.at(0, 0, 0) = false;
    int set = 0;
    mask.forEach([&set](bool v) { set += v ? 1 : 0; });
    EXPECT_EQ(set, 26);
}
