#pragma once
// The density volume of a data set: raw signed 16-bit densities (Hounsfield units for CT)
// and the size of one voxel along x, y and z in millimetres.

#include "toolkit/img/CVolume.h"

#include <cstdint>

namespace data {

class CDensityData : public kvo::img::CVolume<std::int16_t>
{
public:
    using tVolume = kvo::img::CVolume<std::int16_t>;

    //! An empty volume with voxels of 1 mm.
    CDensityData() = default;
    CDensityData(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin = 0)
        : tVolume(xSize, ySize, zSize, margin) {}

    double getDX() const { return m_dx; }
    double getDY() const { return m_dy; }
    double getDZ() const { return m_dz; }
    //! Voxel sizes in millimetres, expected positive.
    void setVoxel(double dx, double dy, double dz)
    {
        m_dx = dx;
        m_dy = dy;
        m_dz = dz;
    }

private:
    double m_dx = 1.0;
    double m_dy = 1.0;
    double m_dz = 1.0;
};

} // namespace data
