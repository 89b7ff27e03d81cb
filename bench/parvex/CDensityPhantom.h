#pragma once
// The host's built-in CT phantom as a density volume, and the strokes a user would draw on
// it to train the GMM segmentation: the input of the FCM and GMM benchmarks and of the
// comparison with scikit-learn.
//
// Marked points lie in the XY slice z = Z / 2, spread evenly over the voxels of one kind
// (raster order): positive points on the bone shell (density BONE); negative points, three
// quarters on soft tissue and fat (within NOISE of TISSUE or FAT) and one quarter on air.
// Each point adds seven samples when marked (CVoxelNeighbourhoodSampler).

#include "data/CDensityData.h"
#include "host/import/CPhantomSource.h"

#include <osg/Vec3f>

#include <cstdint>
#include <cstdlib>
#include <vector>

inline void makeDensityPhantom(data::CDensityData& volume, int X, int Y, int Z)
{
    const velmora::import::CLoadedVolume ct = velmora::import::CPhantomSource(X, Y, Z).generate();
    volume.resize(X, Y, Z, 0);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
        {
            const std::int16_t* density = &ct.voxels[(static_cast<std::size_t>(z) * Y + y) * X];
            std::int16_t* row = volume.getRowPtr(y, z);
            for (int x = 0; x < X; ++x)
                row[x] = density[x];
        }
}

struct CPhantomStrokes
{
    std::vector<osg::Vec3f> positive;
    std::vector<osg::Vec3f> negative;
};

//! `count` points of each kind (fewer when the slice has fewer such voxels).
inline CPhantomStrokes phantomStrokes(const data::CDensityData& volume, int count)
{
    using velmora::import::CPhantomSource;
    const int z = volume.getZSize() / 2;
    std::vector<osg::Vec3f> bone, soft, air;
    for (int y = 1; y + 1 < volume.getYSize(); ++y)
        for (int x = 1; x + 1 < volume.getXSize(); ++x)
        {
            const int v = volume.at(x, y, z);
            const osg::Vec3f point(float(x) + 0.25f, float(y) + 0.25f, float(z) + 0.25f);
            if (v == CPhantomSource::BONE)
                bone.push_back(point);
            else if (std::abs(v - CPhantomSource::TISSUE) <= CPhantomSource::NOISE ||
                     std::abs(v - CPhantomSource::FAT) <= CPhantomSource::NOISE)
                soft.push_back(point);
            else if (v == CPhantomSource::AIR)
                air.push_back(point);
        }
    auto spread = [](const std::vector<osg::Vec3f>& from, std::vector<osg::Vec3f>& to, int wanted) {
        if (from.empty() || wanted <= 0)
            return;
        for (int i = 0; i < wanted && i < int(from.size()); ++i)
            to.push_back(from[std::size_t(i) * from.size() / std::size_t(wanted)]);
    };
    CPhantomStrokes strokes;
    spread(bone, strokes.positive, count);
    spread(soft, strokes.negative, count - count / 4);
    spread(air, strokes.negative, count / 4);
    return strokes;
}
