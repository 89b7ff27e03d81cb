#pragma once
// A NIfTI-1 or NIfTI-2 file (.nii, .nii.gz, or a .hdr/.img pair) opened for reading: its
// header checked as stored, its size checked against the volume limits, its voxel sizes and
// position in the patient worked out, and its voxel data read in order. The density reader
// and the label map reader share it.
//
// Voxel sizes and geometry come from the first usable of:
// - the sform (sform_code > 0): its matrix; the voxel sizes are the lengths of its columns,
//   with a warning when pixdim[1..3] differs from them by more than 0.1 %;
// - the qform (qform_code > 0): the rotation of its quaternion (third axis reversed when
//   qfac is -1), its offset, and |pixdim[1..3]| as voxel sizes;
// - the voxel sizes alone: |pixdim[1..3]|, origin 0, and NIfTI's default axes (RAS x, y, z,
//   which are the patient's -x, -y, z).
// An sform or qform that is not finite, or has an axis of length 0 or axes that do not span
// space, is passed over with a warning. NIfTI's RAS coordinates become LPS (x and y
// negated); metres and micrometres become millimetres. A voxel size of 0 from pixdim (never
// set) becomes 1 mm with a warning. The final sizes must pass CVolumeLimits::checkSpacing.
//
// Only the first volume of a file of several (dim[4..7] > 1) is read, with a warning.

#include "host/import/CPatientGeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::import {

class CNiftiFile
{
public:
    struct CHeader
    {
        //! "NIfTI file <path>": how messages name the file.
        std::string source;
        //! Voxels along x, y and z (each at least 1) and their product.
        int xSize = 0;
        int ySize = 0;
        int zSize = 0;
        std::size_t voxelCount = 0;
        //! Voxel sizes in millimetres, within CVolumeLimits' range.
        double dx = 1.0;
        double dy = 1.0;
        double dz = 1.0;
        CPatientGeometry geometry;
        //! NIfTI datatype code (DT_INT16, ...) and its name ("INT16").
        int datatype = 0;
        std::string datatypeName;
        //! scl_slope and scl_inter as the file gives them; a slope of 0 or one that is not a
        //! number means unscaled values.
        double slope = 0.0;
        double intercept = 0.0;
        //! Whether the voxel data are gzip-compressed; uncompressed data were found long
        //! enough to hold every voxel.
        bool compressed = false;
        //! What the user should know about the header, one English sentence each.
        std::vector<std::string> warnings;
    };

    //! Opens `path` and checks its header and, for an uncompressed file, its length. Throws
    //! CImportError when the file is missing, not NIfTI, damaged, too short or too large,
    //! and kvo::sys::CMemoryLimitExceeded when its volume would pass the memory limit.
    explicit CNiftiFile(const std::string& path);
    ~CNiftiFile();
    CNiftiFile(const CNiftiFile&) = delete;
    CNiftiFile& operator=(const CNiftiFile&) = delete;

    const CHeader& header() const { return m_header; }
    //! Gives `grid` (a loaded volume, a label map) the header's sizes, voxel sizes, placement
    //! and warnings.
    template <typename TGrid>
    void describe(TGrid& grid) const
    {
        grid.xSize = m_header.xSize;
        grid.ySize = m_header.ySize;
        grid.zSize = m_header.zSize;
        grid.dx = m_header.dx;
        grid.dy = m_header.dy;
        grid.dz = m_header.dz;
        grid.geometry = m_header.geometry;
        grid.warnings = m_header.warnings;
    }

    //! Reads the next `count` voxels as stored, in this machine's byte order. T must be the
    //! stored type (CImportError otherwise: the header is damaged). Throws CImportError when
    //! the data end early or are damaged.
    template <typename T>
    void readVoxels(T* into, std::size_t count)
    {
        readStored(into, count, sizeof(T));
    }
    //! Reads what is left after the first volume (further volumes, a gzip trailer) and throws
    //! CImportError unless the data end intact.
    void finish();

    //! Whether the data hold every voxel of the volume: an uncompressed file (its length was
    //! checked) or a compressed one inflated whole already. readVoxels() may still throw
    //! for a file changed on disk meanwhile.
    bool holdsEveryVoxel() const;

    //! Whether readVoxelsAt() may be used: uncompressed data in this machine's byte order.
    bool readsAnywhere() const { return !m_header.compressed && !m_swapBytes; }
    //! Reads `count` voxels as stored from voxel `first` on, where readsAnywhere(): several
    //! threads may read parts at once, and the order of readVoxels() is left alone. Throws
    //! like readVoxels().
    template <typename T>
    void readVoxelsAt(T* into, std::size_t first, std::size_t count) const
    {
        readStoredAt(into, first, count, sizeof(T));
    }

private:
    void readStored(void* into, std::size_t count, std::size_t storedSize);
    void readStoredAt(void* into, std::size_t first, std::size_t count, std::size_t storedSize) const;

    class CDataStream;
    CHeader m_header;
    std::unique_ptr<CDataStream> m_data;
    int m_bytesPerVoxel = 0;
    bool m_swapBytes = false;
    std::size_t m_voxelsRead = 0;
    std::string m_dataPath;
    std::uint64_t m_dataOffset = 0;
};

} // namespace velmora::import
