// Snapshots of region volumes: whole-volume and plane round trips, the provider's
// operations, copies of a region volume, and a restore announcing the entry it lives in.

#include "data/CDataStorage.h"
#include "data/CObjectObserver.h"
#include "data/CObjectPtr.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using data::CRegionData;
using data::CSnapshot;
using tVolume = CRegionData::tVolume;

namespace {

constexpr std::uint16_t MARGIN_VALUE = 0xABCD;

// Random labels in runs, margin set to MARGIN_VALUE.
void fillRandom(tVolume& volume, std::mt19937& random)
{
    volume.fillMargin(MARGIN_VALUE);
    std::uniform_int_distribution<int> label(0, 5), run(1, 40);
    int left = 0;
    std::uint16_t value = 0;
    for (int z = 0; z < volume.getZSize(); ++z)
        for (int y = 0; y < volume.getYSize(); ++y)
            for (int x = 0; x < volume.getXSize(); ++x)
            {
                if (left-- <= 0)
                {
                    value = std::uint16_t(label(random));
                    left = run(random);
                }
                volume.at(x, y, z) = value;
            }
}

bool sameInterior(const tVolume& a, const tVolume& b)
{
    if (a.getXSize() != b.getXSize() || a.getYSize() != b.getYSize() || a.getZSize() != b.getZSize())
        return false;
    for (int z = 0; z < a.getZSize(); ++z)
        for (int y = 0; y < a.getYSize(); ++y)
            for (int x = 0; x < a.getXSize(); ++x)
                if (a.at(x, y, z) != b.at(x, y, z))
                    return false;
    return true;
}

bool marginIntact(const tVolume& volume)
{
    const int m = volume.getMargin();
    for (int z = -m; z < volume.getZSize() + m; ++z)
        for (int y = -m; y < volume.getYSize() + m; ++y)
            for (int x = -m; x < volume.getXSize() + m; ++x)
            {
                const bool inside = x >= 0 && y >= 0 && z >= 0 && x < volume.getXSize() && y < volume.getYSize()
                                    && z < volume.getZSize();
                if (!inside && volume.at(x, y, z) != MARGIN_VALUE)
                    return false;
            }
    return true;
}

// Another snapshot class that no volume provider knows.
class CForeignSnapshot : public CSnapshot
{
public:
    CForeignSnapshot() : CSnapshot(7, nullptr) {}
};

} // namespace

TEST(VolumeSnapshot, RoundTripKeepsLabelsAndLeavesTheMarginAlone)
{
    std::mt19937 random(3);
    for (int margin : {0, 1, 3})
    {
        CRegionData regions(13, 7, 5, margin);
        fillRandom(regions, random);
        const tVolume before(regions);

        const auto snapshot = regions.createVolumeSnapshot();
        ASSERT_TRUE(snapshot);
        EXPECT_EQ(snapshot->getKind(), CSnapshot::KIND_VOLUME);
        EXPECT_EQ(snapshot->getProvider(), static_cast<data::CUndoProvider*>(&regions));
        EXPECT_EQ(snapshot->getId(), 0u);
        EXPECT_GT(snapshot->getDataSize(), 0u);

        regions.fill(9);
        regions.restore(snapshot.get());
        EXPECT_TRUE(sameInterior(regions, before)) << "margin " << margin;
        EXPECT_TRUE(marginIntact(regions)) << "margin " << margin;
    }
}

TEST(VolumeSnapshot, RestoreIntoAResizedVolumeGivesBackTheRecordedSize)
{
    CRegionData regions(4, 3, 2);
    for (int i = 0; i < 24; ++i)
        regions.getPtr()[i] = std::uint16_t(i);
    const auto snapshot = regions.createVolumeSnapshot();
    regions.resize(6, 6, 6);
    regions.fill(0);
    regions.restore(snapshot.get());
    ASSERT_EQ(regions.getXSize(), 4);
    ASSERT_EQ(regions.getZSize(), 2);
    EXPECT_EQ(regions.at(3, 2, 1), 23);
    EXPECT_EQ(regions.at(0, 1, 0), 4);
}

TEST(PlaneSnapshot, EachKindRestoresOnlyItsPlane)
{
    std::mt19937 random(11);
    CRegionData regions(6, 5, 4, 2);
    fillRandom(regions, random);
    const tVolume original(regions);

    struct CCase
    {
        const char* name;
        kvo::base::CRefPtr<CSnapshot> snapshot;
        bool (*inPlane)(int x, int y, int z);
    };
    CCase cases[] = {
        {"XY z=2", regions.createPlaneXYSnapshot(2), [](int, int, int z) { return z == 2; }},
        {"XZ y=4", regions.createPlaneXZSnapshot(4), [](int, int y, int) { return y == 4; }},
        {"YZ x=0", regions.createPlaneYZSnapshot(0), [](int x, int, int) { return x == 0; }},
    };
    for (CCase& c : cases)
    {
        ASSERT_TRUE(c.snapshot) << c.name;
        regions.fill(60000);
        regions.restore(c.snapshot.get());
        for (int z = 0; z < 4; ++z)
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                {
                    const std::uint16_t expected = c.inPlane(x, y, z) ? original.at(x, y, z) : 60000;
                    ASSERT_EQ(regions.at(x, y, z), expected) << c.name << " at " << x << "," << y << "," << z;
                }
        EXPECT_TRUE(marginIntact(regions)) << c.name;
    }
    using tXZ = data::CPlaneXZSnapshot<tVolume>;
    using tYZ = data::CPlaneYZSnapshot<tVolume>;
    auto* yz = dynamic_cast<const tYZ*>(cases[2].snapshot.get());
    ASSERT_NE(yz, nullptr);
    EXPECT_EQ(yz->getWidth(), 5); // y fastest
    EXPECT_EQ(yz->getHeight(), 4);
    EXPECT_EQ(dynamic_cast<const tXZ*>(cases[1].snapshot.get())->getIndex(), 4);
}

TEST(PlaneSnapshot, IndexOutsideTheVolumeRecordsAndRestoresNothing)
{
    CRegionData regions(3, 3, 3);
    regions.fill(5);
    const kvo::base::CRefPtr<CSnapshot> outside[] = {
        regions.createPlaneXYSnapshot(3), regions.createPlaneXYSnapshot(-1), regions.createPlaneXZSnapshot(3),
        regions.createPlaneYZSnapshot(-1), regions.createPlaneYZSnapshot(7)};
    regions.fill(6);
    for (const auto& snapshot : outside)
    {
        ASSERT_TRUE(snapshot);
        EXPECT_EQ(snapshot->getDataSize(), 0u);
        regions.restore(snapshot.get());
    }
    regions.forEach([](std::uint16_t v) { ASSERT_EQ(v, 6); });

    // A plane recorded inside a volume that has since shrunk past it writes nothing.
    const auto last = regions.createPlaneXYSnapshot(2);
    regions.resize(3, 3, 2);
    regions.fill(1);
    regions.restore(last.get());
    regions.forEach([](std::uint16_t v) { ASSERT_EQ(v, 1); });
}

TEST(VolumeUndo, SnapshotLikeAnotherHasItsExtentAndTheCurrentState)
{
    CRegionData regions(4, 4, 4);
    regions.fill(1);
    const auto whole = regions.createVolumeSnapshot();
    const auto xz = regions.createPlaneXZSnapshot(3);
    regions.fill(2);

    const auto likeWhole = regions.createSnapshotLike(whole.get());
    EXPECT_NE(dynamic_cast<const data::CVolumeSnapshot<tVolume>*>(likeWhole.get()), nullptr);
    const auto likeXZ = regions.createSnapshotLike(xz.get());
    auto* plane = dynamic_cast<const data::CPlaneXZSnapshot<tVolume>*>(likeXZ.get());
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->getIndex(), 3);
    EXPECT_FALSE(regions.createSnapshotLike(nullptr));
    const CForeignSnapshot foreign;
    EXPECT_FALSE(regions.createSnapshotLike(&foreign));

    // The new snapshots hold the current labels.
    regions.fill(0);
    regions.restore(likeWhole.get());
    regions.forEach([](std::uint16_t v) { ASSERT_EQ(v, 2); });

    // A snapshot of a class the provider does not know changes nothing.
    regions.restore(&foreign);
    regions.forEach([](std::uint16_t v) { ASSERT_EQ(v, 2); });
}

TEST(RegionData, CopyHasTheLabelsAndFlagAndIsItsOwnProvider)
{
    data::CDataStorage storage;
    CRegionData original(5, 4, 3, 1);
    original.fill(3);
    original.at(1, 2, 0) = 8;
    original.show(false);
    original.setUndoEntry(&storage, 501, true);

    CRegionData copy(original);
    EXPECT_TRUE(sameInterior(copy, original));
    EXPECT_EQ(copy.getMargin(), 1);
    EXPECT_FALSE(copy.isShown());
    EXPECT_EQ(copy.getUndoEntryId(), 0);
    EXPECT_FALSE(copy.isMarkingChanged());
    EXPECT_EQ(copy.getUndoStorage(), nullptr);
    EXPECT_EQ(copy.getUndoVolume(), &copy);

    const auto snapshot = copy.createVolumeSnapshot();
    EXPECT_EQ(snapshot->getProvider(), static_cast<data::CUndoProvider*>(&copy));
    copy.fill(0);
    copy.restore(snapshot.get());
    EXPECT_EQ(copy.at(1, 2, 0), 8);
    original.fill(4);
    // Restoring through the copy's snapshot never touched the original.
    EXPECT_EQ(original.at(1, 2, 0), 4);

    // Assignment takes labels and flag, not the provider settings.
    original = copy;
    EXPECT_EQ(original.at(1, 2, 0), 8);
    EXPECT_EQ(original.getUndoEntryId(), 501);
    EXPECT_EQ(original.getUndoVolume(), &original);
}

namespace {

struct CRegionObserver : data::CObjectObserver<CRegionData>
{
    int calls = 0;
    void objectChanged(CRegionData*) override { ++calls; }
};

} // namespace

TEST(VolumeUndo, RestoreAnnouncesTheEntryOnlyWhenSwitchedOn)
{
    data::CStorableFactory factory;
    factory.registerObject<CRegionData>(501);
    data::CDataStorage storage(&factory);
    CRegionObserver observer;
    storage.connectObserver(501, &observer);

    data::CObjectPtr<CRegionData> regions(storage.getEntry(501, 3));
    regions->resize(3, 3, 3);
    regions->fill(1);
    const auto snapshot = regions->createVolumeSnapshot();
    const std::uint32_t version = regions.getEntry()->getVersion();

    regions->restore(snapshot.get());
    EXPECT_EQ(observer.calls, 0); // switch off

    regions->setUndoEntry(&storage, 501, true);
    regions->fill(2);
    regions->restore(snapshot.get());
    EXPECT_EQ(regions->at(2, 2, 2), 1);
    EXPECT_EQ(observer.calls, 1);
    EXPECT_EQ(regions.getEntry()->getVersion(), version + 1);
    EXPECT_EQ(regions.getEntry()->getFlags().getValues(), std::set<int>{0});

    // Nothing to write back, nothing announced.
    const CForeignSnapshot foreign;
    regions->restore(&foreign);
    EXPECT_EQ(observer.calls, 1);
}
