#pragma once
// Builds the RGB image of one ortho slice: the density through the window's grey table,
// the regions blended over it (CRegionOverlay), and scales it to the view. GUI-free.
//
// Image rows follow CSliceGeometry: row r of an XY slice shows y = r; row r of an XZ or
// YZ slice shows z = Z - 1 - r. Every slice is built with row pointers (the YZ slice walks
// its rows with the volume's y stride); no per-voxel virtual calls.

#include "host/views/CRegionOverlay.h"
#include "toolkit/img/CVolume.h"

#include <cstdint>
#include <vector>

namespace velmora::views {

class CSliceRenderer
{
public:
    //! 8-bit RGB, rows top to bottom, no padding.
    struct CImage
    {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> rgb;

        bool isEmpty() const { return width <= 0 || height <= 0; }
        const std::uint8_t* pixel(int x, int y) const { return rgb.data() + 3 * (std::size_t(y) * width + x); }
    };

    //! Slice `index` normal to `axis` (ESliceAxis) of `density`. `labels` (may be null) is
    //! blended only when it has the density's sizes. `greyTable` has 65536 entries (see
    //! CDensityWindow::makeTable). An index outside the volume gives an empty image.
    static CImage render(int axis, int index, const kvo::img::CVolume<std::int16_t>& density,
                         const kvo::img::CVolume<std::uint16_t>* labels, const std::vector<std::uint8_t>& greyTable,
                         const CRegionOverlay& overlay);

    //! Nearest-neighbour scaling: output pixel (i, j) shows the source pixel under its
    //! centre, floor((i + 0.5) × W / width), floor((j + 0.5) × H / height). Non-positive
    //! sizes give an empty image.
    static CImage scale(const CImage& source, int width, int height);
};

} // namespace velmora::views
