#pragma once
// Where a volume lies in the patient: the centre of voxel (0, 0, 0) and the directions of the
// voxel axes, in millimetres in DICOM's patient coordinates (LPS: x towards the patient's
// left, y towards the back, z towards the head). NIfTI files describe the same space as RAS,
// with x and y negated.

#include <array>
#include <cmath>

namespace velmora::import {

struct CPatientGeometry
{
    //! Centre of voxel (0, 0, 0).
    std::array<double, 3> origin{0.0, 0.0, 0.0};
    //! axes[i]: unit vector along which voxel index i grows.
    std::array<std::array<double, 3>, 3> axes{{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

    //! Patient position of the point at voxel coordinates (i, j, k) (voxel centres at whole
    //! numbers) of a grid with the given voxel sizes.
    std::array<double, 3> toPatient(const std::array<double, 3>& index, const std::array<double, 3>& spacing) const
    {
        std::array<double, 3> p = origin;
        for (int axis = 0; axis < 3; ++axis)
            for (int c = 0; c < 3; ++c)
                p[c] += axes[axis][c] * index[axis] * spacing[axis];
        return p;
    }

    bool isFinite() const
    {
        for (int c = 0; c < 3; ++c) {
            if (!std::isfinite(origin[c]))
                return false;
            for (int axis = 0; axis < 3; ++axis)
                if (!std::isfinite(axes[axis][c]))
                    return false;
        }
        return true;
    }
};

} // namespace velmora::import
