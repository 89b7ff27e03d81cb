#pragma once
// The host's built-in CT phantom at a given size, thresholded at 300..3071 (bone shell,
// contrast and dense spheres, isolated bright voxels) into label 1: the mask a user gets
// from "Perform Thresholding" on the phantom.

#include "host/import/CPhantomSource.h"
#include "toolkit/img/CVolume.h"

#include <cstdint>

inline void makeThresholdedHostPhantom(kvo::img::CVolume<std::uint16_t>& volume, int X, int Y, int Z)
{
    const velmora::import::CLoadedVolume ct = velmora::import::CPhantomSource(X, Y, Z).generate();
    volume.resize(X, Y, Z, 0);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
        {
            std::uint16_t* row = volume.getRowPtr(y, z);
            const std::int16_t* density = &ct.voxels[(static_cast<std::size_t>(z) * Y + y) * X];
            for (int x = 0; x < X; ++x)
                row[x] = (density[x] >= 300 && density[x] < 3071) ? 1 : 0;
        }
}
