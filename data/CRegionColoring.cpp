#include "data/CRegionColoring.h"

#include <algorithm>

namespace data {

namespace {

struct CDefaultRegion
{
    const char* name;
    CRegionColoring::CColor color;
};

const CDefaultRegion defaultTable[CRegionColoring::DEFAULT_COUNT] = {
    {"Not classified", {0, 0, 0, 0}},
    {"Region 1", {255, 128, 128, 128}},
    {"Region 2", {128, 255, 128, 128}},
    {"Region 3", {128, 128, 255, 128}},
    {"Region 4", {255, 255, 128, 128}},
    {"Region 5", {128, 255, 255, 128}},
    {"Region 6", {255, 128, 255, 128}},
    {"Region 7", {255, 128, 64, 128}},
    {"Region 8", {0, 128, 128, 128}},
    {"Region 9", {128, 128, 64, 128}},
};

const CRegionColoring::CName fallbackName{CRegionColoring::UNNAMED, true};

} // namespace

CRegionColoring::CRegionColoring() : m_random(SEED)
{
    reset();
}

void CRegionColoring::reset()
{
    // The lists grow the way a resize grows them, so a table that was shorter than ten
    // entries draws random colours for the new ones before they are overwritten; this
    // keeps the generator's sequence the same as the table's history always gave.
    resize(DEFAULT_COUNT, true);
    for (int i = 0; i < DEFAULT_COUNT; ++i)
    {
        m_colors[i] = defaultTable[i].color;
        m_names[i] = {defaultTable[i].name, true};
    }
    m_active = DEFAULT_ACTIVE;
}

void CRegionColoring::resize(int count, bool randomColors)
{
    count = std::max(count, 0);
    const int old = getCount();
    if (count < old)
    {
        m_colors.resize(std::size_t(count));
        m_names.resize(std::size_t(count));
        if (m_active >= count)
            m_active = std::max(count - 1, 0);
        return;
    }
    m_colors.reserve(std::size_t(count));
    m_names.reserve(std::size_t(count));
    for (int i = old; i < count; ++i)
        m_colors.push_back(randomColors ? makeRandomColor() : DEFAULT_COLOR);
    m_names.resize(std::size_t(count), fallbackName);
}

bool CRegionColoring::setActive(int index)
{
    if (!contains(index))
        return false;
    m_active = index;
    return true;
}

const CRegionColoring::CColor& CRegionColoring::getColor(int index) const
{
    static constexpr CColor fallback = DEFAULT_COLOR;
    return contains(index) ? m_colors[std::size_t(index)] : fallback;
}

void CRegionColoring::setColor(int index, const CColor& color)
{
    if (contains(index))
        m_colors[std::size_t(index)] = color;
}

void CRegionColoring::setRGB(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    if (!contains(index))
        return;
    CColor& color = m_colors[std::size_t(index)];
    color.red = red;
    color.green = green;
    color.blue = blue;
}

const std::string& CRegionColoring::getName(int index) const
{
    return contains(index) ? m_names[std::size_t(index)].name : fallbackName.name;
}

void CRegionColoring::setName(int index, const std::string& name)
{
    if (contains(index))
        m_names[std::size_t(index)].name = name;
}

bool CRegionColoring::isVisible(int index) const
{
    return contains(index) ? m_names[std::size_t(index)].visible : fallbackName.visible;
}

void CRegionColoring::setVisible(int index, bool visible)
{
    if (contains(index))
        m_names[std::size_t(index)].visible = visible;
}

CRegionColoring::CColor CRegionColoring::makeRandomColor()
{
    CColor color;
    color.red = std::uint8_t(m_random.random() * 255.0);
    color.green = std::uint8_t(m_random.random() * 255.0);
    color.blue = std::uint8_t(m_random.random() * 255.0);
    color.alpha = RANDOM_ALPHA;
    return color;
}

} // namespace data
