#pragma once
// Samples a point of a density volume and its six face neighbours.
//
// A point is given in float voxel coordinates; each coordinate is truncated towards zero to
// find its voxel. addSamples appends, in this order, the densities (signed 16-bit, as double)
// at (x, y, z), (x + 1, y, z), (x - 1, y, z), (x, y + 1, z), (x, y - 1, z), (x, y, z + 1) and
// (x, y, z - 1), the offsets added to the float coordinates before truncation. A voxel
// outside the volume is skipped, so a point on the border adds fewer than seven samples and
// a point far outside adds none; nothing outside the volume is ever read.

#include "data/CDensityData.h"
#include "plugins/parvex/seg/CSampler.h"
#include "plugins/parvex/seg/CVoxelValue.h"

#include <osg/Vec3f>

namespace seg {

class CVoxelNeighbourhoodSampler : public CSampler<CVoxelValue, osg::Vec3f, data::CDensityData>
{
public:
    //! Samples a point adds at most.
    static constexpr int SAMPLES_PER_POINT = 7;

    CVoxelNeighbourhoodSampler() = default;
    ~CVoxelNeighbourhoodSampler() override = default;

    void addSamples(const osg::Vec3f& point, const data::CDensityData& volume) override;
    bool sample(CVoxelValue& sample, const osg::Vec3f& point, const data::CDensityData& volume) override;
};

} // namespace seg
