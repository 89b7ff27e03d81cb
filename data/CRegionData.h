#pragma once
// The segmentation (entry 501): one unsigned 16-bit region label per voxel (0: not
// classified), a display flag (regions are shown in the views), and the undo provider of
// the volume itself.
//
// A copy has the same labels, margin and display flag, and a provider of its own that
// refers to the copy, with no storage, entry 0 and marking off; snapshots taken through it
// restore into the copy. Assignment copies labels and display flag and keeps the target's
// provider settings.

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

private:
    bool m_showRegions = true;
};

} // namespace data
