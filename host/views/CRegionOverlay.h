#pragma once
// How the regions are blended over the grey density in the ortho views, taken from the
// region table (entry 502) and the display flag of the region data (entry 501). GUI-free.
//
// A label shows its colour with its alpha when the regions are shown and the region is
// visible: out = (grey × (255 - alpha) + colour × alpha + 127) / 255 per component. Label
// 0 ("Not classified") is transparent in the default table; labels beyond the table use
// the table's fallback colour.

#include <cstdint>
#include <vector>

namespace data {
class CRegionColoring;
}

namespace velmora::views {

class CRegionOverlay
{
public:
    struct CBlend
    {
        std::uint16_t red = 0, green = 0, blue = 0; //!< colour × alpha
        std::uint16_t keep = 255;                   //!< 255 - alpha
    };

    //! Draws nothing.
    CRegionOverlay() = default;
    CRegionOverlay(const data::CRegionColoring& coloring, bool shown);

    //! True when no label changes any pixel.
    bool isEmpty() const { return m_empty; }

    const CBlend& get(std::uint16_t label) const { return label < m_table.size() ? m_table[label] : m_fallback; }

    static std::uint8_t blend(std::uint8_t grey, std::uint16_t colorTimesAlpha, std::uint16_t keep)
    {
        return static_cast<std::uint8_t>((grey * keep + colorTimesAlpha + 127) / 255);
    }

private:
    std::vector<CBlend> m_table;
    CBlend m_fallback;
    bool m_empty = true;
};

} // namespace velmora::views
