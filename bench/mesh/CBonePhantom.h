#pragma once
// A synthetic bone-like label mask for timing surface extraction: an ellipsoidal shell of
// bone (label 1) around soft tissue (label 2), a few bone spheres inside and outside the
// shell, and isolated single bone voxels. Deterministic for given sizes.

#include "toolkit/img/CVolume.h"

#include <cstdint>
#include <random>

inline void makeBonePhantom(kvo::img::CVolume<std::uint16_t>& volume, int X, int Y, int Z)
{
    volume.resize(X, Y, Z);
    volume.fill(0);
    const double cx = 0.5 * X, cy = 0.5 * Y, cz = 0.5 * Z;
    const double ax = 0.42 * X, ay = 0.40 * Y, az = 0.45 * Z;
    struct CSphere
    {
        double x, y, z, r;
    };
    const CSphere spheres[] = {
        {0.30, 0.35, 0.40, 0.07}, {0.62, 0.58, 0.55, 0.09}, {0.50, 0.30, 0.70, 0.05},
        {0.45, 0.65, 0.30, 0.06}, {0.70, 0.40, 0.25, 0.04}, {0.08, 0.10, 0.50, 0.05},
    };
    for (int z = 0; z < Z; ++z)
    {
        for (int y = 0; y < Y; ++y)
        {
            std::uint16_t* row = volume.getRowPtr(y, z);
            for (int x = 0; x < X; ++x)
            {
                const double ex = (x + 0.5 - cx) / ax, ey = (y + 0.5 - cy) / ay, ez = (z + 0.5 - cz) / az;
                const double e = ex * ex + ey * ey + ez * ez;
                std::uint16_t label = e <= 0.82 ? 2 : (e <= 1.0 ? 1 : 0);
                for (const CSphere& s : spheres)
                {
                    const double dx = x + 0.5 - s.x * X, dy = y + 0.5 - s.y * Y, dz = z + 0.5 - s.z * Z;
                    const double r = s.r * X;
                    if (dx * dx + dy * dy + dz * dz <= r * r)
                        label = 1;
                }
                row[x] = label;
            }
        }
    }
    std::mt19937 random(12345);
    const int isolated = X * Y * Z / 20000;
    for (int i = 0; i < isolated; ++i)
        volume.at(random() % X, random() % Y, random() % Z) = 1;
}
