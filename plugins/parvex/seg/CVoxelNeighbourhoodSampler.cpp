#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"

#include "plugins/parvex/seg/VoxelIndex.h"

namespace seg {

bool CVoxelNeighbourhoodSampler::sample(CVoxelValue& sample, const osg::Vec3f& point, const data::CDensityData& volume)
{
    std::int32_t x = 0, y = 0, z = 0;
    if (!truncatedIndex(point.x(), volume.getXSize(), x) || !truncatedIndex(point.y(), volume.getYSize(), y) ||
        !truncatedIndex(point.z(), volume.getZSize(), z))
        return false;
    sample = CVoxelValue(static_cast<double>(volume.at(x, y, z)));
    return true;
}

void CVoxelNeighbourhoodSampler::addSamples(const osg::Vec3f& point, const data::CDensityData& volume)
{
    static const osg::Vec3f offsets[SAMPLES_PER_POINT] = {{0, 0, 0},  {1, 0, 0}, {-1, 0, 0}, {0, 1, 0},
                                                          {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const osg::Vec3f& offset : offsets)
    {
        CVoxelValue value;
        if (sample(value, point + offset, volume))
            getTrainingSet().add(value);
    }
}

} // namespace seg
