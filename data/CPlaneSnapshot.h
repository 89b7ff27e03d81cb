#pragma once
// Snapshots of one plane of a volume of 16-bit voxels (V as for CVolumeSnapshot):
//  - CPlaneXYSnapshot<V>: plane z = index, X × Y values, rows along x;
//  - CPlaneXZSnapshot<V>: plane y = index, X × Z values, rows along x;
//  - CPlaneYZSnapshot<V>: plane x = index, Y × Z values, y fastest.
// The plane is gathered into a temporary image of the plane's size and coded as
// CVolumeSnapshot codes a volume; the image is gone once the snapshot is built. An index
// outside the volume records nothing (an empty snapshot that restores nothing).
//
// The provider writes a plane back itself through writeTo: the recorded image goes back
// into the same plane, over the smaller of the recorded and the volume's current extent,
// and nothing happens when the index no longer lies inside the volume.

#include "data/CRunLengthCode.h"
#include "data/CSnapshot.h"
#include "toolkit/img/CImage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace data {

enum class EPlane
{
    XY,
    XZ,
    YZ
};

template <class V, EPlane P>
class CPlaneSnapshot : public CSnapshot
{
    static_assert(sizeof(typename V::tVoxel) == sizeof(std::uint16_t)
                      && std::is_unsigned_v<typename V::tVoxel>,
                  "snapshots code unsigned 16-bit voxels");

public:
    using tVoxel = typename V::tVoxel;
    using tImage = kvo::img::CImage<tVoxel>;

    //! Records plane `index` of `volume` (z for XY, y for XZ, x for YZ).
    CPlaneSnapshot(std::int32_t kind, const V& volume, std::int32_t index, CUndoProvider* provider)
        : CSnapshot(kind, provider), m_index(index)
    {
        if (!inRange(volume, index))
            return;
        m_width = planeWidth(volume);
        m_height = planeHeight(volume);
        tImage image(m_width, m_height);
        copyPlane<false>(volume, image);
        if (!m_code.begin(std::int64_t(m_width) * m_height / 8))
            return;
        for (std::int32_t row = 0; row < m_height; ++row)
            m_code.encode(image.getRowPtr(row), std::size_t(m_width));
        m_code.finish();
    }

    std::size_t getDataSize() const override { return m_code.getDataSize(); }

    //! Writes the recorded plane back into plane getIndex() of `volume`.
    void writeTo(V& volume) const
    {
        if (m_width == 0 || m_height == 0 || !inRange(volume, m_index))
            return;
        tImage image(m_width, m_height);
        // A short code leaves the rest of the image as it is; start from the current plane.
        copyPlane<false>(volume, image);
        CRunLengthCode::CDecoder decoder(m_code);
        for (std::int32_t row = 0; row < m_height; ++row)
        {
            if (decoder.decode(image.getRowPtr(row), std::size_t(m_width)) < std::size_t(m_width))
                break;
        }
        copyPlane<true>(volume, image);
    }

    std::int32_t getIndex() const { return m_index; }
    //! Recorded extent; 0 × 0 when the index was outside the volume.
    std::int32_t getWidth() const { return m_width; }
    std::int32_t getHeight() const { return m_height; }
    const CRunLengthCode& getCode() const { return m_code; }

private:
    static bool inRange(const V& volume, std::int32_t index)
    {
        const std::int32_t size = P == EPlane::XY ? volume.getZSize()
                                : P == EPlane::XZ ? volume.getYSize()
                                                  : volume.getXSize();
        return index >= 0 && index < size;
    }
    static std::int32_t planeWidth(const V& volume)
    {
        return P == EPlane::YZ ? volume.getYSize() : volume.getXSize();
    }
    static std::int32_t planeHeight(const V& volume)
    {
        return P == EPlane::XY ? volume.getYSize() : volume.getZSize();
    }

    // Copies between plane m_index of the volume and the image, over the smaller of both
    // extents: into the image, or back into the volume when ToVolume.
    template <bool ToVolume, class Volume>
    void copyPlane(Volume& volume, tImage& image) const
    {
        const std::int32_t width = std::min(image.getXSize(), planeWidth(volume));
        const std::int32_t height = std::min(image.getYSize(), planeHeight(volume));
        if (width <= 0 || height <= 0)
            return;
        for (std::int32_t row = 0; row < height; ++row)
        {
            tVoxel* imageRow = image.getRowPtr(row);
            if constexpr (P == EPlane::YZ)
            {
                auto* voxel = volume.getPtr(m_index, 0, row);
                const std::ptrdiff_t step = volume.getYOffset();
                for (std::int32_t i = 0; i < width; ++i, voxel += step)
                {
                    if constexpr (ToVolume)
                        *voxel = imageRow[i];
                    else
                        imageRow[i] = *voxel;
                }
            }
            else
            {
                auto* volumeRow = P == EPlane::XY ? volume.getRowPtr(row, m_index) : volume.getRowPtr(m_index, row);
                if constexpr (ToVolume)
                    std::memcpy(volumeRow, imageRow, std::size_t(width) * sizeof(tVoxel));
                else
                    std::memcpy(imageRow, volumeRow, std::size_t(width) * sizeof(tVoxel));
            }
        }
    }

    std::int32_t m_index;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    CRunLengthCode m_code;
};

template <class V>
using CPlaneXYSnapshot = CPlaneSnapshot<V, EPlane::XY>;
template <class V>
using CPlaneXZSnapshot = CPlaneSnapshot<V, EPlane::XZ>;
template <class V>
using CPlaneYZSnapshot = CPlaneSnapshot<V, EPlane::YZ>;

} // namespace data
