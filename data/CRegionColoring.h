#pragma once
// The region table (entry 502): per region index (0 = "Not classified") a colour (red,
// green, blue, alpha, one byte each) and a name with a visibility flag, the index of the
// active region, and the table's own random generator for the colours of new regions.
//
// The colour and name lists always have the same length, the entry count. Reads of an
// index outside the table give the fallback entry (default colour, "Unnamed", visible);
// writes outside the table do nothing. The active index stays inside the table: setActive
// refuses other values and shrinking moves it to the last remaining entry (0 when empty).
//
// Serialized as one block (BLOCK_NAME, zlib): layout version, entry count, active index and
// the generator's state (32-bit each); per entry red, green, blue, alpha and visibility
// (one byte each), the name's length in bytes (32-bit) and its UTF-8 bytes; last a CRC-32
// of everything before it. Tables beyond MAX_COUNT entries, names beyond MAX_NAME_BYTES
// or MAX_TOTAL_NAME_BYTES in all are neither written nor read (Serializer::CWriteFailed,
// CReadFailed). A read is checked whole before the table changes: a stream that fails
// leaves the table as it was.

#include "toolkit/base/CObject.h"
#include "toolkit/math/CUniformPRNG.h"
#include "toolkit/mod/CSerializable.h"

#include <cstdint>
#include <string>
#include <cstddef>
#include <vector>

namespace data {

class CRegionColoring : public kvo::base::CObject, public kvo::mod::CSerializable
{
public:
    static constexpr const char* BLOCK_NAME = "data::CRegionColoring";
    static constexpr std::int32_t BLOCK_METHOD = 3; // zlib
    static constexpr std::int32_t BLOCK_SIZE = 4096;
    static constexpr std::uint32_t LAYOUT_VERSION = 1;
    //! One entry per 16-bit label.
    static constexpr std::uint32_t MAX_COUNT = 65536;
    static constexpr std::uint32_t MAX_NAME_BYTES = 65535;
    static constexpr std::uint32_t MAX_TOTAL_NAME_BYTES = 16u << 20;

    struct CColor
    {
        std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;

        friend bool operator==(const CColor&, const CColor&) = default;
    };

    struct CName
    {
        std::string name; //!< UTF-8
        bool visible = true;
    };

    static constexpr int DEFAULT_COUNT = 10;
    static constexpr int DEFAULT_ACTIVE = 1;
    //! Alpha of random colours.
    static constexpr std::uint8_t RANDOM_ALPHA = 128;
    //! Colour of entries appended without random colours, and of the fallback entry.
    static constexpr CColor DEFAULT_COLOR{128, 128, 128, 128};
    static constexpr const char* UNNAMED = "Unnamed";
    //! Seed of the table's generator, set on construction.
    static constexpr std::uint32_t SEED = 1537;

    //! The default table (see reset), generator seeded with SEED before it is built.
    CRegionColoring();

    //! Rebuilds the default table of ten regions: the colour list is resized to 10 (random
    //! colours), the name list to 10 ("Unnamed", visible), then entries 0..9 are written
    //! ("Not classified" transparent black, "Region 1".."Region 9" with fixed colours of
    //! alpha 128, all visible) and region 1 becomes active.
    void reset();

    //! Appends entries up to `count` (colour: random when `randomColors`, else
    //! DEFAULT_COLOR; name "Unnamed", visible) or drops entries from the end. A negative
    //! count counts as 0.
    void resize(int count, bool randomColors);

    int getCount() const { return int(m_colors.size()); }

    //! Index of the active region.
    int getActive() const { return m_active; }
    //! Makes `index` active when 0 <= index < count; returns false (nothing changes) else.
    bool setActive(int index);

    const CColor& getColor(int index) const;
    void setColor(int index, const CColor& color);
    //! Replaces red, green and blue; alpha stays.
    void setRGB(int index, std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    const std::string& getName(int index) const;
    void setName(int index, const std::string& name);
    bool isVisible(int index) const;
    void setVisible(int index, bool visible);

    //! Three draws of the generator for red, green and blue (value × 255 truncated), alpha
    //! RANDOM_ALPHA.
    CColor makeRandomColor();

    //! The generator's current state (for tests and for saving the table).
    std::uint32_t getRandomState() const { return m_random.getState(); }

    //! Everything the table holds, for undo snapshots that must bring it back whole.
    struct CState
    {
        std::vector<CColor> colors;
        std::vector<CName> names;
        int active = 0;
        std::uint32_t randomState = SEED;
        //! Bytes the state occupies, roughly (for the history's limit).
        std::size_t getDataSize() const;
    };
    CState getState() const { return {m_colors, m_names, m_active, m_random.getState()}; }
    void setState(const CState& state);

    void serialize(kvo::mod::CBinarySerializer& serializer) override;
    void deserialize(kvo::mod::CBinarySerializer& serializer) override;

private:
    bool contains(int index) const { return index >= 0 && index < getCount(); }

    std::vector<CColor> m_colors;
    std::vector<CName> m_names;
    int m_active = 0;
    kvo::math::CUniformPRNG m_random;
};

} // namespace data
