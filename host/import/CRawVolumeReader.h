#pragma once
// Reads a headerless volume of little-endian signed 16-bit densities, x fastest, then y,
// then z. The file carries no sizes, so the caller gives them; the file must hold exactly
// x * y * z * 2 bytes, which catches most wrong guesses at the dimensions.

#include "host/import/CLoadedVolume.h"

#include <string>

namespace velmora::import {

class CRawVolumeReader
{
public:
    //! Dimensions in voxels (each >= 1), spacing in millimetres (each > 0).
    CRawVolumeReader(int xSize, int ySize, int zSize, double dx = 1.0, double dy = 1.0, double dz = 1.0);

    //! Reads `path`; throws CImportError for invalid dimensions or spacing, a file that
    //! cannot be read or a file whose size does not match the dimensions.
    CLoadedVolume read(const std::string& path) const;

private:
    int m_xSize;
    int m_ySize;
    int m_zSize;
    double m_dx;
    double m_dy;
    double m_dz;
};

} // namespace velmora::import
