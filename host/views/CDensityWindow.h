#pragma once
// The density window of the ortho views: densities from level - width / 2 to level +
// width / 2 run from black to white, lower ones are black, higher ones white. GUI-free.

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::views {

class CDensityWindow
{
public:
    struct CPreset
    {
        const char* name;
        int level;
        int width;
    };

    //! CT presets, the first is the default.
    static const std::vector<CPreset>& presets();

    static constexpr int MIN_LEVEL = -4000;
    static constexpr int MAX_LEVEL = 8000;
    static constexpr int MIN_WIDTH = 1;
    static constexpr int MAX_WIDTH = 16000;

    //! The first preset (soft tissue).
    CDensityWindow();
    //! Level and width are clamped to their ranges.
    CDensityWindow(int level, int width);

    int getLevel() const { return m_level; }
    int getWidth() const { return m_width; }
    //! The index of the preset with this level and width, -1 when none.
    int findPreset() const;

    //! Grey value 0..255 of a density: round((d - (level - width / 2)) × 255 / width),
    //! clamped.
    std::uint8_t toGrey(int density) const;
    //! Grey values of all 65536 signed 16-bit densities; entry d + 32768 for density d.
    std::vector<std::uint8_t> makeTable() const;

    friend bool operator==(const CDensityWindow&, const CDensityWindow&) = default;

private:
    int m_level;
    int m_width;
};

} // namespace velmora::views
