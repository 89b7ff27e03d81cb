#pragma once
// The current XY orthogonal slice of the views (entry 21): its z position and the x and y
// extent over which slice-wise operations work, plus a switch that tells slice operations
// (the segmentation preview) to leave the slice alone.

#include "toolkit/base/CObject.h"

#include <cstdint>

namespace data {

class COrthoSliceXY : public kvo::base::CObject
{
public:
    COrthoSliceXY() = default;

    //! True: operations on the current slice (the preview segmentation) do nothing.
    bool isSliceOperationSuppressed() const { return m_suppressed; }
    void setSliceOperationSuppressed(bool suppressed) { m_suppressed = suppressed; }

    //! z index of the slice, 0 .. Z - 1 of the volume shown.
    std::int32_t getPosition() const { return m_position; }
    void setPosition(std::int32_t z) { m_position = z; }

    //! Width (x) and height (y) of the slice in voxels; 0 before a data set is loaded.
    std::int32_t getXSize() const { return m_xSize; }
    std::int32_t getYSize() const { return m_ySize; }
    void setSize(std::int32_t xSize, std::int32_t ySize)
    {
        m_xSize = xSize;
        m_ySize = ySize;
    }

private:
    bool m_suppressed = false;
    std::int32_t m_position = 0;
    std::int32_t m_xSize = 0;
    std::int32_t m_ySize = 0;
};

} // namespace data
