#pragma once
// A snapshot of a whole volume of 16-bit voxels (V: kvo::img::CVolume<std::uint16_t> or a
// class derived from it): the interior voxels in voxel order (x fastest, then y, then z),
// run-length coded; the margin is neither recorded nor restored.

#include "data/CRunLengthCode.h"
#include "data/CSnapshot.h"

#include <cstdint>
#include <type_traits>

namespace data {

template <class V>
class CVolumeSnapshot : public CSnapshot
{
    static_assert(sizeof(typename V::tVoxel) == sizeof(std::uint16_t)
                      && std::is_unsigned_v<typename V::tVoxel>,
                  "snapshots code unsigned 16-bit voxels");

public:
    //! Records the current interior of `volume`.
    CVolumeSnapshot(std::int32_t kind, const V& volume, CUndoProvider* provider)
        : CSnapshot(kind, provider),
          m_xSize(volume.getXSize()), m_ySize(volume.getYSize()), m_zSize(volume.getZSize())
    {
        const std::int64_t hint = std::int64_t(m_xSize) * m_ySize * m_zSize / 8;
        if (!m_code.begin(hint))
            return;
        for (std::int32_t z = 0; z < m_zSize; ++z)
            for (std::int32_t y = 0; y < m_ySize; ++y)
                m_code.encode(volume.getRowPtr(y, z), std::size_t(m_xSize));
        m_code.finish();
    }

    //! Bytes of the value stream plus bytes of the control stream.
    std::size_t getDataSize() const override { return m_code.getDataSize(); }

    //! Writes the recorded voxels back into `volume`. A volume whose size has changed since
    //! is first given the recorded size again (its margin kept), so the restored labels land
    //! where they were taken and not shifted along the rows.
    virtual void restore(V& volume) const
    {
        if (volume.getXSize() != m_xSize || volume.getYSize() != m_ySize || volume.getZSize() != m_zSize)
            volume.resize(m_xSize, m_ySize, m_zSize, volume.getMargin());
        CRunLengthCode::CDecoder decoder(m_code);
        for (std::int32_t z = 0; z < m_zSize; ++z)
        {
            for (std::int32_t y = 0; y < m_ySize; ++y)
            {
                if (decoder.decode(volume.getRowPtr(y, z), std::size_t(m_xSize)) < std::size_t(m_xSize))
                    return;
            }
        }
    }

    std::int32_t getXSize() const { return m_xSize; }
    std::int32_t getYSize() const { return m_ySize; }
    std::int32_t getZSize() const { return m_zSize; }
    const CRunLengthCode& getCode() const { return m_code; }

private:
    std::int32_t m_xSize;
    std::int32_t m_ySize;
    std::int32_t m_zSize;
    CRunLengthCode m_code;
};

} // namespace data
