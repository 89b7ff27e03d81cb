#pragma once
// Label maps as NIfTI files: one label (0..65535) per voxel of a grid placed in the patient.

#include "host/import/CPatientGeometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::exchange {

struct CLabelMap
{
    //! Voxels along x, y and z.
    int xSize = 0;
    int ySize = 0;
    int zSize = 0;
    //! Voxel sizes in millimetres.
    double dx = 1;
    double dy = 1;
    double dz = 1;
    import::CPatientGeometry geometry;
    //! x fastest, then y, then z: voxel (x, y, z) is labels[(z * ySize + y) * xSize + x].
    std::vector<std::uint16_t> labels;
    //! What the user should know about a read file, one English sentence each.
    std::vector<std::string> warnings;
};

//! Writes `map` as a single-file NIfTI-1, compressed for ".nii.gz", plain for ".nii" (either
//! case); other names are refused. Stored as uint8 when every label is below 256, else
//! uint16; pixdim dx, dy, dz in millimetres; sform and qform (both "scanner", code 1) from
//! the geometry in RAS; no scaling. The file is written beside `path` and renamed over it
//! when complete, so a failure leaves an existing file as it was. Throws std::runtime_error
//! with a message for the user when the map is inconsistent (sizes of 0 or above NIfTI-1's
//! 32767, labels not matching the sizes, voxel sizes or geometry not finite) or the file
//! cannot be written.
void writeLabelMap(const std::string& path, const CLabelMap& map);

//! Reads a label map from a NIfTI file with the checks, voxel sizes and geometry of the scan
//! reader (host/import/CNiftiFile.h). Integer stored types of up to 32 bits only; every value
//! must lie in 0..65535 and scaling, if any, must be the identity (scl_slope 0, or 1 with
//! scl_inter 0). Throws import::CImportError naming the file and what is wrong (the first
//! value out of range and its voxel).
CLabelMap readLabelMap(const std::string& path);

} // namespace velmora::exchange
