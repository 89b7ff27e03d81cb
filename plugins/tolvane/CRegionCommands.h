#pragma once
// The region commands of the Tolvane panel, without windows: each takes the entries it
// needs from the storage through object pointers, changes them and announces the change
// (invalidate with flags 0). Confirmations are the caller's.
//
// Entries: 501 region data (labels, 0 = not classified), 502 region colouring, 557 undo
// history. Commands that rewrite labels (join, clear, relabel, reset) first record a
// snapshot of the whole region volume in the history, and record none when they would
// change no voxel. Where several entries are held at once they are taken in the order
// colouring, region data, undo history. All calls on the GUI thread; missing entries or
// objects raise the storage's exceptions before anything changed.

#include <cstdint>

namespace data {
class CDataStorage;
}

namespace tolvane {

class CRegionCommands
{
public:
    //! Range of the number of regions that one "Create New" adds.
    static constexpr int MIN_NEW_REGIONS = 1;
    static constexpr int MAX_NEW_REGIONS = 100;

    explicit CRegionCommands(data::CDataStorage& storage) : m_storage(storage) {}

    //! Appends `count` regions (random colours, "Unnamed", visible); a count outside 1..100
    //! does nothing and returns false.
    bool createRegions(int count);

    //! Makes `index` the active region when it is inside the table (otherwise the active
    //! index stays); the colouring is announced either way. True when it became active.
    bool makeActive(int index);
    //! Inverts the visibility of region `index` (nothing for an index outside the table)
    //! and announces the colouring.
    void toggleVisible(int index);
    //! Replaces red, green and blue of region `index`; its alpha stays.
    void setColour(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    //! Picked scene points: voxel coordinates as floats, rounded to the nearest voxel
    //! (x + 0.5, rounded down). A point outside the region volume changes nothing and
    //! returns false.
    //!
    //! The label at the point becomes the active region when it is inside the table;
    //! false (nothing changes) otherwise.
    bool pickActive(float x, float y, float z);
    //! Every voxel carrying the label at the point gets the active label (undo snapshot
    //! first, none when the label already is the active one). An active index beyond the
    //! largest label (65535) changes nothing and returns false.
    bool joinActive(float x, float y, float z);

    //! Every voxel of the active region gets label 0; the table stays. An active index
    //! beyond the largest label (65535) has no voxels.
    void clearActive();
    //! Renumbers the labels by first appearance and shrinks the table to the regions in
    //! use (see CRegionRenumbering). An all-zero volume changes nothing, not even the
    //! table; returns false then.
    bool relabel();
    //! The default table of ten regions (active 1) and every label 0.
    void reset();

    //! The region data's display flag.
    void showRegions(bool shown);
    bool areRegionsShown();

private:
    data::CDataStorage& m_storage;
};

} // namespace tolvane
