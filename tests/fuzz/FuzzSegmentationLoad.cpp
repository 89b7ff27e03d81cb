// Fuzz target of the segmentation-file loader: the input is a `.seg` stream, loaded into a
// storage with entries 11, 501 (6 x 5 x 4 labels), 502 and 557 and no data set, so the
// region volume gives the size. The input's last byte, which lies in the unused tail of
// the terminal header of a valid file, picks a progress step to cancel at (1..3; 0 none).
//
// Checked: a load is cancelled exactly when the progress function stopped it; a failed or
// cancelled load leaves labels, display flag, colour table (entries, active index,
// generator state) and undo history exactly as they were; after a load the table covers
// every label with the active index inside it, the state saves and loads back unchanged,
// and undoing every step brings the labels of before back. Every input starts from the
// same state.

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CSerializationManager.h"
#include "data/CStorableFactory.h"
#include "data/CUndoManager.h"
#include "data/StorageEntries.h"
#include "plugins/tolvane/CSegmentationFile.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CMemoryChannel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace data::entries;
using tolvane::CSegmentationFile;
using EResult = CSegmentationFile::EResult;

constexpr int REQUEST = data::CDataStorage::REQUEST_CREATE | data::CDataStorage::REQUEST_UPDATE;
constexpr int X_SIZE = 6, Y_SIZE = 5, Z_SIZE = 4;

void check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_segmentation_load: %s\n", what);
    std::abort();
}

struct CState
{
    std::vector<std::uint16_t> labels;
    bool shown = true;
    std::vector<data::CRegionColoring::CColor> colors;
    std::vector<std::string> names;
    std::vector<bool> visible;
    int active = 0;
    std::uint32_t randomState = 0;
    std::size_t undo = 0;

    bool operator==(const CState&) const = default;
};

class CHarness
{
public:
    CHarness() : storage(new data::CDataStorage(&factory))
    {
        factory.registerObject<data::CActiveDataSet>(ENTRY_ACTIVE_DATA_SET);
        factory.registerObject<data::CRegionData>(ENTRY_REGION_DATA);
        factory.registerObject<data::CRegionColoring>(ENTRY_REGION_COLORING);
        factory.registerObject<data::CUndoManager>(ENTRY_UNDO_MANAGER);
        regions()->resize(X_SIZE, Y_SIZE, Z_SIZE, 0);
        // Regions 1..4 in the lower half of the volume, plus a stray voxel of region 7.
        for (int z = 0; z < Z_SIZE; ++z)
            for (int y = 0; y < Y_SIZE; ++y)
                for (int x = 0; x < X_SIZE; ++x)
                    m_labels.push_back(std::uint16_t(z < 2 ? (x + y) % 5 : 0));
        m_labels.back() = 7;
        m_coloring.setName(2, "Liver \xc3\xa9");
        m_coloring.setVisible(3, false);
        m_coloring.setActive(2);
    }

    data::CObjectPtr<data::CRegionData> regions()
    {
        return data::CObjectPtr<data::CRegionData>(storage->getEntry(ENTRY_REGION_DATA, REQUEST));
    }
    data::CObjectPtr<data::CRegionColoring> coloring()
    {
        return data::CObjectPtr<data::CRegionColoring>(storage->getEntry(ENTRY_REGION_COLORING, REQUEST));
    }
    data::CObjectPtr<data::CUndoManager> history()
    {
        return data::CObjectPtr<data::CUndoManager>(storage->getEntry(ENTRY_UNDO_MANAGER, REQUEST));
    }

    //! Labels, display flag and table as set up, empty history.
    void restore()
    {
        setLabels(m_labels);
        regions()->show(true);
        *coloring() = m_coloring;
        history()->clear();
    }

    CState state()
    {
        CState s;
        s.labels = labels();
        s.shown = regions()->isShown();
        auto table = coloring();
        for (int i = 0; i < table->getCount(); ++i)
        {
            s.colors.push_back(table->getColor(i));
            s.names.push_back(table->getName(i));
            s.visible.push_back(table->isVisible(i));
        }
        s.active = table->getActive();
        s.randomState = table->getRandomState();
        s.undo = history()->getUndoCount();
        return s;
    }

    std::vector<std::uint16_t> labels()
    {
        auto volume = regions();
        std::vector<std::uint16_t> result;
        for (int z = 0; z < volume->getZSize(); ++z)
            for (int y = 0; y < volume->getYSize(); ++y)
                for (int x = 0; x < volume->getXSize(); ++x)
                    result.push_back(volume->at(x, y, z));
        return result;
    }

    void setLabels(const std::vector<std::uint16_t>& labels)
    {
        auto volume = regions();
        std::size_t i = 0;
        for (int z = 0; z < Z_SIZE; ++z)
            for (int y = 0; y < Y_SIZE; ++y)
                for (int x = 0; x < X_SIZE; ++x)
                    volume->at(x, y, z) = labels[i++];
    }

    // The factory goes first: the storage's objects come from it.
    data::CStorableFactory factory;
    kvo::base::CRefPtr<data::CDataStorage> storage;

private:
    std::vector<std::uint16_t> m_labels;
    data::CRegionColoring m_coloring;
};

// What a load must leave: every label with a row, the active row inside the table.
void checkLoaded(const CState& after)
{
    std::uint16_t largest = 0;
    for (const std::uint16_t label : after.labels)
        largest = std::max(largest, label);
    check(after.colors.size() > largest, "a label has no row in the colour table");
    check(after.active >= 0 && std::size_t(after.active) < after.colors.size(), "the active row lies outside the table");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CHarness harness;
    harness.restore();
    const CState before = harness.state();

    const int cancelAt = size > 0 ? data[size - 1] % 4 : 0;
    bool cancelled = false;
    const CSegmentationFile::tProgressFunction progress([cancelAt, &cancelled](int done, int) {
        cancelled = cancelAt != 0 && done >= cancelAt;
        return !cancelled;
    });
    kvo::mod::CMemoryChannel input(data, size);
    const EResult result = CSegmentationFile(*harness.storage).load(input, progress);
    const CState after = harness.state();
    check(cancelled == (result == EResult::CANCELLED), "a load stopped by its progress function was not cancelled");
    if (result != EResult::DONE)
    {
        check(after == before, "a failed or cancelled load changed the storage");
        return 0;
    }
    checkLoaded(after);
    check(after.undo == before.undo || after.undo == before.undo + 1, "a load recorded more than one undo step");

    // What was loaded saves and loads back unchanged (one more undo step).
    kvo::mod::CMemoryChannel saved(kvo::mod::CChannel::CH_OUT);
    {
        kvo::mod::CBinarySerializer serializer(&saved, 0);
        data::CSerializationManager manager(*harness.storage);
        check(manager.save(serializer, {ENTRY_REGION_DATA, ENTRY_REGION_COLORING}), "the loaded state did not save");
    }
    kvo::mod::CMemoryChannel savedInput(kvo::mod::CChannel::CH_IN, saved.getBytes());
    check(CSegmentationFile(*harness.storage).load(savedInput) == EResult::DONE, "the saved state did not load");
    CState reloaded = harness.state();
    check(reloaded.undo == after.undo + 1, "loading the saved state recorded no undo step");
    reloaded.undo = after.undo;
    check(reloaded == after, "the saved state loaded back changed");

    // The history holds the labels of before.
    {
        auto history = harness.history();
        while (history->undo())
        {
        }
    }
    check(harness.labels() == before.labels, "undoing the loads did not bring the labels back");
    return 0;
}
