#pragma once
// The host's built-in CT phantom labelled into classes, as thresholding or clustering would
// label it: the input of the median filter's benchmark and of comparisons with other tools.
//
//   3 classes:  0 air (< -200), 1 soft tissue and fat (-200 .. 299), 2 bone, contrast,
//               metal and dots (>= 300).
//   20 classes: air; the fat and the soft-tissue ranges cut into equal density bands (7 and
//               8 of them), which turns their noise into a speckle of several labels; then
//               contrast, bone, metal and the dots, one class each: the kind of labelling a
//               20-cluster FCM gives, and the hard case for a median.
//
// The volume gets the requested margin, filled with 0 as the panel's median command does.

#include "host/import/CPhantomSource.h"
#include "toolkit/img/CVolume.h"

#include <algorithm>
#include <array>
#include <cstdint>

inline std::uint16_t phantomClass(std::int16_t density, int classes)
{
    if (classes == 3)
        return density < -200 ? 0 : density < 300 ? 1 : 2;
    // Upper bounds (exclusive) of classes 0 .. 18; the rest is class 19.
    static constexpr std::array<std::int16_t, 19> BOUNDS = {-500, -114, -108, -102, -96, -90, -84, -20, 25, 30,
                                                            35,   40,   45,   50,   55,  200, 800, 1600, 2500};
    return static_cast<std::uint16_t>(std::upper_bound(BOUNDS.begin(), BOUNDS.end(), density) - BOUNDS.begin());
}

inline void makeLabelledPhantom(kvo::img::CVolume<std::uint16_t>& volume, int X, int Y, int Z, int classes,
                                int margin)
{
    const velmora::import::CLoadedVolume ct = velmora::import::CPhantomSource(X, Y, Z).generate();
    volume.resize(X, Y, Z, margin);
    volume.fillMargin(0);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
        {
            std::uint16_t* row = volume.getRowPtr(y, z);
            const std::int16_t* density = &ct.voxels[(static_cast<std::size_t>(z) * Y + y) * X];
            for (int x = 0; x < X; ++x)
                row[x] = phantomClass(density[x], classes);
        }
}
