#pragma once
// The segmentation (entry 501): one unsigned 16-bit region label per voxel (0: not
// classified), a display flag (regions are shown in the views), and the undo provider of
// the volume itself.
//
// A copy has the same labels, margin and display flag, and a provider of its own that
// refers to the copy, with no storage, entry 0 and marking off; snapshots taken through it
// restore into the copy. Assignment copies labels and display flag and keeps the target's
// provider settings.
//
// Serialized as one block (BLOCK_NAME, zlib) laid out as: layout version, x, y and z size,
// display flag (32-bit each); then slice by slice in z the run-length code of the slice's
// labels (rows in y order): the number of controls, the number of values, the control
// bytes and the 16-bit values; last a CRC-32 of everything before it. A segmentation
// compresses to a few runs per row, so the stream that zlib sees is small. A region volume
// reads back only a stream of its own sizes, with every slice decoding to exactly its
// voxels and the check matching; otherwise Serializer::CReadFailed, with the labels read
// so far already in place (read into a spare volume where that matters).

#include "data/CVolumeUndo.h"
#include "toolkit/img/CVolume.h"

#include <cstdint>

namespace data {

class CRegionData : public kvo::img::CVolume<std::uint16_t>,
                    public CVolumeUndo<kvo::img::CVolume<std::uint16_t>>
{
public:
    using tVolume = kvo::img::CVolume<std::uint16_t>;
    using tVoxel = std::uint16_t;
    using tUndo = CVolumeUndo<tVolume>;

    static constexpr const char* BLOCK_NAME = "data::CRegionData";
    static constexpr std::int32_t BLOCK_METHOD = 3; // zlib
    static constexpr std::int32_t BLOCK_SIZE = 65536;
    static constexpr std::uint32_t LAYOUT_VERSION = 1;

    //! An empty volume, regions shown.
    CRegionData() : tUndo(this) {}
    CRegionData(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin = 0)
        : tVolume(xSize, ySize, zSize, margin), tUndo(this) {}

    CRegionData(const CRegionData& other)
        : kvo::img::CVolume<std::uint16_t>(other), tUndo(this), m_showRegions(other.m_showRegions) {}

    CRegionData& operator=(const CRegionData& other)
    {
        if (&other != this)
        {
            tVolume::copy(other);
            m_showRegions = other.m_showRegions;
        }
        return *this;
    }

    ~CRegionData() override = default;

    //! Whether the views draw the regions.
    bool isShown() const { return m_showRegions; }
    void show(bool shown) { m_showRegions = shown; }

    void serialize(kvo::mod::CBinarySerializer& serializer) override;
    void deserialize(kvo::mod::CBinarySerializer& serializer) override;

    //! The largest label of the volume (0 for an empty one).
    std::uint16_t getLargestLabel() const;

    //! A snapshot of the labels together with the colour table in entry `coloringId` of the
    //! undo storage (see setUndoEntry), for commands that renumber labels and rewrite the
    //! table as one change: its undo and redo bring back both. Without an undo storage, or
    //! when the entry holds no colour table, the snapshot records the labels only.
    virtual tSnapshotPtr createRegionStateSnapshot(std::int32_t coloringId);
    //! As the provider's, and a snapshot of the same kind for labels with their table.
    tSnapshotPtr createSnapshotLike(const CSnapshot* snapshot) override;
    //! As the provider's; a snapshot with a colour table writes the table back and announces
    //! its entry too.
    void restore(const CSnapshot* snapshot) override;

private:
    bool m_showRegions = true;
};

} // namespace data
