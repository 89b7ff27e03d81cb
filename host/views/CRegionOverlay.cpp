#include "host/views/CRegionOverlay.h"

#include "data/CRegionColoring.h"

namespace velmora::views {

namespace {

CRegionOverlay::CBlend makeBlend(const data::CRegionColoring::CColor& color, bool visible)
{
    CRegionOverlay::CBlend blend;
    if (!visible)
        return blend;
    blend.red = static_cast<std::uint16_t>(color.red * color.alpha);
    blend.green = static_cast<std::uint16_t>(color.green * color.alpha);
    blend.blue = static_cast<std::uint16_t>(color.blue * color.alpha);
    blend.keep = static_cast<std::uint16_t>(255 - color.alpha);
    return blend;
}

} // namespace

CRegionOverlay::CRegionOverlay(const data::CRegionColoring& coloring, bool shown)
{
    if (!shown)
        return;
    const int count = coloring.getCount();
    m_table.reserve(count);
    for (int index = 0; index < count; ++index)
        m_table.push_back(makeBlend(coloring.getColor(index), coloring.isVisible(index)));
    // Reads beyond the table give the fallback entry.
    m_fallback = makeBlend(coloring.getColor(count), coloring.isVisible(count));
    m_empty = m_fallback.keep == 255;
    for (const CBlend& blend : m_table)
        m_empty = m_empty && blend.keep == 255;
}

} // namespace velmora::views
