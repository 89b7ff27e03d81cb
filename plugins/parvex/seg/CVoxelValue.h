#pragma once
// One training sample of the GMM segmentation: the density of one voxel.

namespace seg {

struct CVoxelValue
{
    double value = 0.0;

    CVoxelValue() = default;
    explicit CVoxelValue(double density) : value(density) {}

    bool operator==(const CVoxelValue& other) const = default;
};

} // namespace seg
