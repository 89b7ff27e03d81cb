#pragma once
// The bone shell of the host's phantom as the Ostrum script tests build it through the
// panels: 48 x 44 x 40 voxels of 1 mm, label 1 where 1000 <= density < 1500, and its raw
// surface extracted here directly, for the counts the host must reach.

#include "host/import/CPhantomSource.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "vctl/MCTriS.h"

#include <gtest/gtest.h>

namespace ostrumtest {

constexpr int BONE_X = 48, BONE_Y = 44, BONE_Z = 40;
constexpr int BONE_LOWER = 1000, BONE_HIGHER = 1500;

//! The raw marching-cubes surface of the thresholded phantom, into `mesh`.
inline void extractPhantomBone(vctl::MCTriS& mesh)
{
    const velmora::import::CLoadedVolume phantom = velmora::import::CPhantomSource(BONE_X, BONE_Y, BONE_Z).generate();
    CMarchingCubes::tRegionVolume labels(BONE_X, BONE_Y, BONE_Z);
    for (int z = 0; z < BONE_Z; ++z)
        for (int y = 0; y < BONE_Y; ++y)
            for (int x = 0; x < BONE_X; ++x)
            {
                const int density = phantom.at(x, y, z);
                labels.at(x, y, z) = density >= BONE_LOWER && density < BONE_HIGHER ? 1 : 0;
            }
    CMarchingCubes extractor;
    extractor.setDimensions(BONE_X, BONE_Y, BONE_Z);
    extractor.setVoxelSize(1.0, 1.0, 1.0);
    EXPECT_TRUE(extractor.extract(&mesh, 1, labels));
}

} // namespace ostrumtest
