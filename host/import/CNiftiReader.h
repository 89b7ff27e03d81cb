#pragma once
// Reads a NIfTI-1 or NIfTI-2 file (.nii, .nii.gz, or a .hdr/.img pair) as a density volume.
//
// - Size from dim[1..3]; a file of several volumes (dim[4..7] > 1) gives its first one
//   and a warning.
// - Spacing and position in the patient from the sform, else the qform, else |pixdim[1..3]|
//   alone, in millimetres and LPS coordinates (see CNiftiFile); a spacing of 0 from pixdim
//   becomes 1 mm with a warning.
// - scl_slope of 0 means unscaled values; otherwise value * scl_slope + scl_inter.
// - Stored types int8, uint8, int16, uint16, int32, uint32, int64, uint64, float32 and
//   float64 are rounded (half away from zero) and clamped to 16 bits; clamped values and
//   values that are not numbers (set to 0) are counted in a warning. Complex and colour
//   types are refused.
// - The header's sizes are checked before anything is allocated; for an uncompressed file
//   the data length is checked against the file size too, and a compressed file that ends
//   early is detected while reading.

#include "host/import/CLoadedVolume.h"

#include <string>

namespace velmora::import {

class CNiftiReader
{
public:
    //! Reads `path`; throws CImportError when the file is missing, not NIfTI, damaged,
    //! too short, too large or of an unsupported stored type.
    CLoadedVolume read(const std::string& path) const;
};

} // namespace velmora::import
