#pragma once
// How the host draws strokes in its scenes (entry 555): a drawing mode (0: no drawing,
// 3: strokes are drawn and reported as samples; other values are the host's), the stroke
// colour as red, green, blue and alpha in [0, 1], and the line width in pixels.

#include "toolkit/base/CObject.h"

#include <cstdint>

namespace data {

class CDrawingOptions : public kvo::base::CObject
{
public:
    static constexpr std::int32_t MODE_NONE = 0;
    static constexpr std::int32_t MODE_STROKES = 3;

    struct CColor
    {
        float red = 1.0f, green = 1.0f, blue = 1.0f, alpha = 1.0f;
    };

    CDrawingOptions() = default;

    std::int32_t getDrawingMode() const { return m_mode; }
    void setDrawingMode(std::int32_t mode) { m_mode = mode; }

    const CColor& getColor() const { return m_color; }
    void setColor(float red, float green, float blue, float alpha) { m_color = {red, green, blue, alpha}; }

    //! Line width in pixels, default 1.
    float getWidth() const { return m_width; }
    void setWidth(float width) { m_width = width; }

private:
    std::int32_t m_mode = MODE_NONE;
    CColor m_color;
    float m_width = 1.0f;
};

} // namespace data
