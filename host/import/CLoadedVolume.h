#pragma once
// A density volume as one of the import sources delivers it, before the host puts it into
// its storage. Plain data: the sources fill it, the host copies it and throws it away.

#include "host/import/CPatientGeometry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::import {

struct CLoadedVolume
{
    //! Number of voxels along x, y and z; each at least 1 in a loaded volume.
    int xSize = 0;
    int ySize = 0;
    int zSize = 0;
    //! Distance between voxel centres along x, y and z in millimetres; positive.
    double dx = 1.0;
    double dy = 1.0;
    double dz = 1.0;
    //! Position and orientation in the patient: from the DICOM slices or the NIfTI affine;
    //! origin 0 and the identity for raw volumes and the phantom.
    CPatientGeometry geometry;
    //! Densities (Hounsfield units for CT), x fastest, then y, then z:
    //! voxel (x, y, z) is voxels[(z * ySize + y) * xSize + x].
    std::vector<std::int16_t> voxels;
    //! Things the user should know that did not stop the load (clamped values, ignored
    //! volumes or series), one English sentence each.
    std::vector<std::string> warnings;

    std::size_t voxelCount() const
    {
        return static_cast<std::size_t>(xSize) * static_cast<std::size_t>(ySize) * static_cast<std::size_t>(zSize);
    }
    std::int16_t at(int x, int y, int z) const
    {
        return voxels[(static_cast<std::size_t>(z) * static_cast<std::size_t>(ySize) + static_cast<std::size_t>(y))
                          * static_cast<std::size_t>(xSize)
                      + static_cast<std::size_t>(x)];
    }
};

} // namespace velmora::import
