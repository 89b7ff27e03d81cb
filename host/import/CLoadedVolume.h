#pragma once
// A density volume as one of the import sources delivers it, before the host puts it into
// its storage. Plain data: the sources fill it, the host copies it and throws it away.

#include "host/import/CPatientGeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora::import {

//! Allocator of voxel buffers: resize() leaves new voxels unset instead of zeroing them, for
//! the readers write every voxel at once; zeroing a large buffer that is overwritten anyway
//! costs as much as reading it. (Everything else is std::allocator's.)
template <typename T>
struct CUnsetAllocator : std::allocator<T>
{
    template <typename U>
    struct rebind
    {
        using other = CUnsetAllocator<U>;
    };
    CUnsetAllocator() = default;
    template <typename U>
    CUnsetAllocator(const CUnsetAllocator<U>&) noexcept
    {
    }
    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* at, Arguments&&... arguments)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Arguments>(arguments)...);
    }
};

//! Densities of a loaded volume; see CUnsetAllocator: a resize() is followed by writes.
using CVoxelBuffer = std::vector<std::int16_t, CUnsetAllocator<std::int16_t>>;

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
    CVoxelBuffer voxels;
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
