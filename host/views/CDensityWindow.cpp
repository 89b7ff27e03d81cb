#include "host/views/CDensityWindow.h"

#include <algorithm>
#include <cmath>

namespace velmora::views {

const std::vector<CDensityWindow::CPreset>& CDensityWindow::presets()
{
    static const std::vector<CPreset> list{
        {"Soft tissue", 40, 400}, {"Bone", 400, 1800}, {"Lung", -600, 1500}, {"Brain", 40, 80}};
    return list;
}

CDensityWindow::CDensityWindow() : CDensityWindow(presets()[0].level, presets()[0].width) {}

CDensityWindow::CDensityWindow(int level, int width)
    : m_level(std::clamp(level, MIN_LEVEL, MAX_LEVEL)), m_width(std::clamp(width, MIN_WIDTH, MAX_WIDTH))
{
}

int CDensityWindow::findPreset() const
{
    const auto& list = presets();
    for (std::size_t i = 0; i < list.size(); ++i)
    {
        if (list[i].level == m_level && list[i].width == m_width)
            return static_cast<int>(i);
    }
    return -1;
}

std::uint8_t CDensityWindow::toGrey(int density) const
{
    const double low = m_level - m_width / 2.0;
    const double grey = std::round((density - low) * 255.0 / m_width);
    return static_cast<std::uint8_t>(std::clamp(grey, 0.0, 255.0));
}

std::vector<std::uint8_t> CDensityWindow::makeTable() const
{
    std::vector<std::uint8_t> table(65536);
    for (int density = -32768; density <= 32767; ++density)
        table[density + 32768] = toGrey(density);
    return table;
}

} // namespace velmora::views
