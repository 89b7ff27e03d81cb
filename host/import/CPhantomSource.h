#pragma once
// A synthetic CT of a simple body, the host's default data set and a fixture for tests.
// The geometry scales with the requested size along each axis; the same size always gives
// the same voxels, on every platform and library version (the noise comes from a hash of
// the voxel index, not from a standard distribution).
//
// Content, in coordinates relative to the body centre and its semi-axes (0.45 x, 0.35 y,
// 0.45 z of the volume size):
//   - air AIR outside the body ellipsoid;
//   - soft tissue TISSUE +- NOISE inside it;
//   - a closed bone shell BONE between 0.75 and 0.85 of the body's semi-axes;
//   - inside the shell: a fat ellipsoid FAT +- NOISE, a contrast ellipsoid CONTRAST and a
//     dense ellipsoid METAL, none touching the shell or each other;
//   - DOT_COUNT single voxels of DOT in the soft tissue inside the shell, clear of
//     everything else once every axis has at least 32 voxels.
// Thresholding at 300..3071 therefore gives the shell as one large region, the contrast
// and metal ellipsoids, and DOT_COUNT isolated voxels.

#include "host/import/CLoadedVolume.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velmora::import {

class CPhantomSource
{
public:
    static constexpr std::int16_t AIR = -1000;
    static constexpr std::int16_t TISSUE = 40;
    static constexpr std::int16_t FAT = -100;
    //! Tissue and fat vary by at most this much either way; nothing else is noisy.
    static constexpr std::int16_t NOISE = 20;
    static constexpr std::int16_t CONTRAST = 300;
    static constexpr std::int16_t BONE = 1200;
    static constexpr std::int16_t METAL = 2000;
    static constexpr std::int16_t DOT = 3000;
    static constexpr int DOT_COUNT = 5;

    static constexpr int DEFAULT_SIZE = 128;

    //! Size in voxels (each >= 1, product within CVolumeLimits), spacing in mm (each > 0);
    //! the sizes are checked by generate().
    explicit CPhantomSource(int xSize = DEFAULT_SIZE, int ySize = DEFAULT_SIZE, int zSize = DEFAULT_SIZE,
                            double dx = 1.0, double dy = 1.0, double dz = 1.0);

    //! Builds the volume; throws CImportError for an invalid size or spacing.
    CLoadedVolume generate() const;

    //! Voxel coordinates (x, y, z) of the single DOT voxels.
    std::vector<std::array<int, 3>> dotPositions() const;

private:
    int m_xSize;
    int m_ySize;
    int m_zSize;
    double m_dx;
    double m_dy;
    double m_dz;
};

} // namespace velmora::import
