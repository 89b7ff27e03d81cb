#include "data/CRegionColoring.h"

#include "toolkit/mod/CBinarySerializer.h"

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

std::size_t CRegionColoring::CState::getDataSize() const
{
    std::size_t bytes = colors.size() * sizeof(CColor) + names.size() * sizeof(CName);
    for (const CName& name : names)
        bytes += name.name.capacity();
    return bytes;
}

void CRegionColoring::setState(const CState& state)
{
    m_colors = state.colors;
    m_names = state.names;
    m_active = state.active;
    m_random.setSeed(state.randomState);
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

void CRegionColoring::serialize(kvo::mod::CBinarySerializer& serializer)
{
    std::size_t totalNameBytes = 0;
    for (const CName& name : m_names)
    {
        if (name.name.size() > MAX_NAME_BYTES)
            throw kvo::mod::Serializer::CWriteFailed();
        totalNameBytes += name.name.size();
    }
    if (m_colors.size() > MAX_COUNT || totalNameBytes > MAX_TOTAL_NAME_BYTES)
        throw kvo::mod::Serializer::CWriteFailed();

    serializer.beginWrite(BLOCK_NAME, BLOCK_METHOD, BLOCK_SIZE);
    serializer.beginChecksum();
    serializer.writeUInt32(LAYOUT_VERSION);
    serializer.writeUInt32(std::uint32_t(m_colors.size()));
    serializer.writeInt32(m_active);
    serializer.writeUInt32(m_random.getState());
    for (std::size_t i = 0; i < m_colors.size(); ++i)
    {
        const CColor& color = m_colors[i];
        const std::uint8_t bytes[5] = {color.red, color.green, color.blue, color.alpha,
                                       std::uint8_t(m_names[i].visible ? 1 : 0)};
        serializer.writeArray(bytes, 5);
        serializer.writeUInt32(std::uint32_t(m_names[i].name.size()));
        serializer.writeArray(m_names[i].name.data(), m_names[i].name.size());
    }
    serializer.writeUInt32(serializer.endChecksum());
    serializer.endWrite();
}

void CRegionColoring::deserialize(kvo::mod::CBinarySerializer& serializer)
{
    using kvo::mod::Serializer::CReadFailed;
    serializer.beginRead(BLOCK_NAME);
    serializer.beginChecksum();
    const std::uint32_t version = serializer.readUInt32();
    const std::uint32_t count = serializer.readUInt32();
    const std::int32_t active = serializer.readInt32();
    const std::uint32_t state = serializer.readUInt32();
    if (version != LAYOUT_VERSION || count > MAX_COUNT || active < 0 ||
        (count > 0 ? std::uint32_t(active) >= count : active != 0))
        throw CReadFailed();

    // The lists grow with the entries actually read, never by the count alone.
    std::vector<CColor> colors;
    std::vector<CName> names;
    std::size_t totalNameBytes = 0;
    constexpr std::size_t NAME_PIECE = 4096;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        std::uint8_t bytes[5];
        serializer.readArray(bytes, 5);
        const std::uint32_t length = serializer.readUInt32();
        totalNameBytes += length;
        if (bytes[4] > 1 || length > MAX_NAME_BYTES || totalNameBytes > MAX_TOTAL_NAME_BYTES)
            throw CReadFailed();
        CName name;
        name.visible = bytes[4] != 0;
        for (std::size_t done = 0; done < length;)
        {
            const std::size_t piece = std::min<std::size_t>(NAME_PIECE, length - done);
            name.name.resize(done + piece);
            serializer.readArray(name.name.data() + done, piece);
            done += piece;
        }
        colors.push_back({bytes[0], bytes[1], bytes[2], bytes[3]});
        names.push_back(std::move(name));
    }
    const std::uint32_t checksum = serializer.endChecksum();
    if (serializer.readUInt32() != checksum)
        throw CReadFailed();
    serializer.endRead();

    m_colors = std::move(colors);
    m_names = std::move(names);
    m_active = active;
    m_random.setSeed(state);
}

} // namespace data
