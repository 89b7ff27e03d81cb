#pragma once
// A 3D raster of voxels with a border (the margin) of extra voxels on every side, all in one
// shared pixel buffer (CDataBlock).
//
// Layout: x fastest, then y, then z. With X, Y, Z the sizes and M the margin:
//   y offset = X + 2M                 (elements between two rows)
//   z offset = (Y + 2M) * (X + 2M)    (elements between two slices)
//   buffer   = (Z + 2M) * z offset    elements
//   origin   = buffer start + M * (z offset + y offset + 1), the voxel (0, 0, 0)
// Voxel (x, y, z) is origin[x + y * y offset + z * z offset] for -M <= x < X + M and likewise
// for y and z. Nothing is bounds-checked; loops take a row pointer once per (y, z) and walk x.
//
// Copy construction and copy() always give this volume a private buffer; a buffer is shared
// only when a volume is built explicitly on another's block. Operations that "visit every
// voxel" (fill, forEach, copyBlock) touch the interior only and leave the margin alone.
// Allocation failure throws std::bad_alloc and leaves the volume as it was; negative sizes
// or margins throw CVolume::CBadSize.
//
// Serialized as one block (SERIALIZATION_NAME, zlib): the layout version, the element size
// and the three sizes (32-bit each), the interior rows, and a CRC-32 of all of these. A
// volume reads back only a stream of its own element size and sizes (the reader decides
// what is allocated, never the stream); anything else, or a wrong check, raises
// Serializer::CReadFailed. The margin is neither written nor read.

#include "toolkit/base/CException.h"
#include "toolkit/base/CObject.h"
#include "toolkit/img/CDataBlock.h"
#include "toolkit/img/CVolumeBase.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CSerializable.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace kvo::img {

template <typename T>
class CVolume : public kvo::base::CObject, public CVolumeBase<CVolume<T>>, public kvo::mod::CSerializable
{
public:
    static constexpr const char* SERIALIZATION_NAME = "kvo::img::CVolume";
    static constexpr std::uint32_t SERIALIZATION_VERSION = 1;
    static constexpr std::int32_t SERIALIZATION_METHOD = 3; // zlib
    static constexpr std::int32_t SERIALIZATION_BLOCK_SIZE = 65536;

    using tVoxel = T;
    using tDataBlock = CDataBlock<T>;

    KVO_DECLARE_EXCEPTION(CBadSize, "Negative volume size or margin");

    //! An empty volume: all sizes, margin and offsets 0, no elements.
    CVolume() : m_block(new tDataBlock(0)) {}

    //! A volume of x × y × z voxels with `margin` border voxels on each side; voxels are not
    //! initialised.
    CVolume(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin = 0)
    {
        const CLayout layout = layoutOf(xSize, ySize, zSize, margin);
        m_block = new tDataBlock(layout.count);
        setLayout(xSize, ySize, zSize, margin, layout);
    }

    //! A volume that shares `block` (taking one reference) as its buffer, as laid out for the
    //! given sizes; the block must hold at least that many elements, else CBadSize.
    CVolume(tDataBlock& block, std::int32_t xSize, std::int32_t ySize, std::int32_t zSize,
            std::int32_t margin)
    {
        const CLayout layout = layoutOf(xSize, ySize, zSize, margin);
        if (block.getSize() < layout.count)
            throw CBadSize();
        block.addReference();
        m_block = &block;
        setLayout(xSize, ySize, zSize, margin, layout);
    }

    //! Same sizes and margin, a private buffer, every element copied (margins included).
    CVolume(const CVolume& other)
        : kvo::base::CObject(other), CVolumeBase<CVolume<T>>(), kvo::mod::CSerializable()
    {
        const CLayout layout = layoutOf(other.m_xSize, other.m_ySize, other.m_zSize, other.m_margin);
        m_block = new tDataBlock(layout.count);
        setLayout(other.m_xSize, other.m_ySize, other.m_zSize, other.m_margin, layout);
        copyElements(other, layout.count);
    }

    //! As copy().
    CVolume& operator=(const CVolume& other)
    {
        copy(other);
        return *this;
    }

    ~CVolume() override { m_block->release(); }

    //! Takes the other volume's sizes and margin and copies every element, margins included.
    //! The buffer is resized by the rules of resize(); a shared buffer is left to its sharers.
    CVolume& copy(const CVolume& other)
    {
        if (&other == this)
            return *this;
        reshape(other.m_xSize, other.m_ySize, other.m_zSize, other.m_margin, false);
        copyElements(other, layoutCount());
        return *this;
    }

    //! Copies the interior block of min(X) × min(Y) × min(Z) voxels of `source` into this
    //! volume, row by row; sizes, margin and every other voxel stay. Nothing when `source`
    //! is this volume.
    virtual void copyBlock(const CVolume& source)
    {
        if (&source == this)
            return;
        const std::int32_t xCount = std::min(m_xSize, source.m_xSize);
        const std::int32_t yCount = std::min(m_ySize, source.m_ySize);
        const std::int32_t zCount = std::min(m_zSize, source.m_zSize);
        if (xCount <= 0)
            return;
        const std::size_t rowBytes = std::size_t(xCount) * sizeof(T);
        for (std::int32_t z = 0; z < zCount; ++z)
        {
            for (std::int32_t y = 0; y < yCount; ++y)
            {
                // memmove: two volumes built on one block may overlap.
                std::memmove(getRowPtr(y, z), source.getRowPtr(y, z), rowBytes);
            }
        }
    }

    //! Gives the volume new sizes and margin. The buffer is kept when it is not shared and
    //! the new element count lies in [old / 2, old]; otherwise it is reallocated (contents
    //! moved), or replaced by fresh memory when it was shared or had an external owner.
    //! Voxel values are unspecified afterwards unless sizes and margin are unchanged, in
    //! which case they are kept (a shared buffer is then detached by copying).
    void resize(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin = 0)
    {
        reshape(xSize, ySize, zSize, margin, true);
    }

    void serialize(kvo::mod::CBinarySerializer& serializer) override
    {
        serializer.beginWrite(SERIALIZATION_NAME, SERIALIZATION_METHOD, SERIALIZATION_BLOCK_SIZE);
        serializer.beginChecksum();
        serializer.writeUInt32(SERIALIZATION_VERSION);
        serializer.writeUInt32(sizeof(T));
        serializer.writeInt32(m_xSize);
        serializer.writeInt32(m_ySize);
        serializer.writeInt32(m_zSize);
        for (std::int32_t z = 0; z < m_zSize; ++z)
            for (std::int32_t y = 0; y < m_ySize; ++y)
                serializer.writeArray(getRowPtr(y, z), std::size_t(m_xSize));
        serializer.writeUInt32(serializer.endChecksum());
        serializer.endWrite();
    }

    void deserialize(kvo::mod::CBinarySerializer& serializer) override
    {
        serializer.beginRead(SERIALIZATION_NAME);
        serializer.beginChecksum();
        const std::uint32_t version = serializer.readUInt32();
        const std::uint32_t elementSize = serializer.readUInt32();
        const std::int32_t xSize = serializer.readInt32();
        const std::int32_t ySize = serializer.readInt32();
        const std::int32_t zSize = serializer.readInt32();
        if (version != SERIALIZATION_VERSION || elementSize != sizeof(T) || xSize != m_xSize || ySize != m_ySize ||
            zSize != m_zSize)
            throw kvo::mod::Serializer::CReadFailed();
        for (std::int32_t z = 0; z < m_zSize; ++z)
            for (std::int32_t y = 0; y < m_ySize; ++y)
                serializer.readArray(getRowPtr(y, z), std::size_t(m_xSize));
        const std::uint32_t checksum = serializer.endChecksum();
        if (serializer.readUInt32() != checksum)
            throw kvo::mod::Serializer::CReadFailed();
        serializer.endRead();
    }

    //! Sets every interior voxel to `value`; the margin is untouched. Returns `value`.
    T fill(const T& value)
    {
        for (std::int32_t z = 0; z < m_zSize; ++z)
            for (std::int32_t y = 0; y < m_ySize; ++y)
                std::fill_n(getRowPtr(y, z), m_xSize, value);
        return value;
    }

    //! Sets every margin voxel to `value`; the interior is untouched.
    void fillMargin(const T& value)
    {
        if (m_margin == 0)
            return;
        const std::int32_t rowLength = m_yOffset;
        for (std::int32_t z = -m_margin; z < m_zSize + m_margin; ++z)
        {
            const bool marginSlice = z < 0 || z >= m_zSize;
            for (std::int32_t y = -m_margin; y < m_ySize + m_margin; ++y)
            {
                T* row = getPtr(-m_margin, y, z);
                if (marginSlice || y < 0 || y >= m_ySize)
                {
                    std::fill_n(row, rowLength, value);
                }
                else
                {
                    std::fill_n(row, m_margin, value);
                    std::fill_n(row + m_margin + m_xSize, m_margin, value);
                }
            }
        }
    }

    //! Sets every element of the buffer, margins included, to `value`.
    void fillEntire(const T& value) { std::fill_n(m_block->getData(), layoutCount(), value); }

    //! Hands every interior voxel by reference to `functor` (z outermost, then y, x fastest)
    //! and returns the functor with whatever it gathered.
    template <class Functor>
    Functor forEach(Functor functor)
    {
        for (std::int32_t z = 0; z < m_zSize; ++z)
        {
            for (std::int32_t y = 0; y < m_ySize; ++y)
            {
                T* p = getRowPtr(y, z);
                for (T* const end = p + m_xSize; p != end; ++p)
                    functor(*p);
            }
        }
        return functor;
    }

    //! As forEach, read-only.
    template <class Functor>
    Functor forEach(Functor functor) const
    {
        for (std::int32_t z = 0; z < m_zSize; ++z)
        {
            for (std::int32_t y = 0; y < m_ySize; ++y)
            {
                const T* p = getRowPtr(y, z);
                for (const T* const end = p + m_xSize; p != end; ++p)
                    functor(*p);
            }
        }
        return functor;
    }

    std::int32_t getXSize() const noexcept { return m_xSize; }
    std::int32_t getYSize() const noexcept { return m_ySize; }
    std::int32_t getZSize() const noexcept { return m_zSize; }
    std::int32_t getMargin() const noexcept { return m_margin; }

    //! Distances in elements between neighbours along x (always 1), y (rows) and z (slices).
    //! Returned as ptrdiff_t so that `z * getZOffset()` cannot overflow an int.
    static constexpr std::ptrdiff_t getXOffset() noexcept { return 1; }
    std::ptrdiff_t getYOffset() const noexcept { return m_yOffset; }
    std::ptrdiff_t getZOffset() const noexcept { return m_zOffset; }

    //! Index of voxel (x, y, z) relative to the origin.
    std::ptrdiff_t getIdx(std::int32_t x, std::int32_t y, std::int32_t z) const noexcept
    {
        return std::ptrdiff_t(x) + std::ptrdiff_t(y) * m_yOffset + std::ptrdiff_t(z) * m_zOffset;
    }

    T& at(std::int32_t x, std::int32_t y, std::int32_t z) noexcept { return m_origin[getIdx(x, y, z)]; }
    const T& at(std::int32_t x, std::int32_t y, std::int32_t z) const noexcept
    {
        return m_origin[getIdx(x, y, z)];
    }

    //! The origin: address of voxel (0, 0, 0).
    T* getPtr() noexcept { return m_origin; }
    const T* getPtr() const noexcept { return m_origin; }
    T* getPtr(std::int32_t x, std::int32_t y, std::int32_t z) noexcept { return m_origin + getIdx(x, y, z); }
    const T* getPtr(std::int32_t x, std::int32_t y, std::int32_t z) const noexcept
    {
        return m_origin + getIdx(x, y, z);
    }
    //! Address of voxel (0, y, z), the start of a row's interior.
    T* getRowPtr(std::int32_t y, std::int32_t z) noexcept { return m_origin + getIdx(0, y, z); }
    const T* getRowPtr(std::int32_t y, std::int32_t z) const noexcept { return m_origin + getIdx(0, y, z); }

    //! Exchanges the buffers of two volumes of the same sizes and margin (CBadSize for
    //! others): each takes the other's voxels without a copy. Everything else stays.
    void swapVoxels(CVolume& other)
    {
        if (other.m_xSize != m_xSize || other.m_ySize != m_ySize || other.m_zSize != m_zSize ||
            other.m_margin != m_margin)
            throw CBadSize();
        std::swap(m_block, other.m_block);
        std::swap(m_origin, other.m_origin);
    }

    //! The pixel buffer (never null); hand it to the sharing constructor to share it.
    tDataBlock* getBlock() const noexcept { return m_block; }
    //! Number of buffer elements the layout uses: (Z + 2M) * z offset.
    std::size_t getBufferSize() const noexcept { return layoutCount(); }

private:
    struct CLayout
    {
        std::int32_t yOffset;
        std::int32_t zOffset;
        std::size_t count;
        std::ptrdiff_t originIndex;
    };

    static CLayout layoutOf(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin)
    {
        if (xSize < 0 || ySize < 0 || zSize < 0 || margin < 0)
            throw CBadSize();
        const std::int64_t xSpan = std::int64_t(xSize) + 2 * std::int64_t(margin);
        const std::int64_t ySpan = std::int64_t(ySize) + 2 * std::int64_t(margin);
        const std::int64_t zSpan = std::int64_t(zSize) + 2 * std::int64_t(margin);
        // Offsets are 32-bit; a layout they cannot describe could never be allocated anyway.
        std::int64_t zOffset = 0;
        std::size_t count = 0;
        if (xSpan > INT32_MAX || __builtin_mul_overflow(xSpan, ySpan, &zOffset) || zOffset > INT32_MAX
            || __builtin_mul_overflow(std::size_t(zSpan), std::size_t(zOffset), &count)
            || count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        return {std::int32_t(xSpan), std::int32_t(zOffset), count,
                std::ptrdiff_t(margin) * (zOffset + xSpan + 1)};
    }

    std::size_t layoutCount() const noexcept
    {
        return std::size_t(m_zSize + 2 * std::int64_t(m_margin)) * std::size_t(m_zOffset);
    }

    void setLayout(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin,
                   const CLayout& layout) noexcept
    {
        m_xSize = xSize;
        m_ySize = ySize;
        m_zSize = zSize;
        m_margin = margin;
        m_yOffset = layout.yOffset;
        m_zOffset = layout.zOffset;
        m_origin = m_block->getData() + layout.originIndex;
    }

    // The buffer is resized before any field changes, so a failed allocation leaves the
    // volume consistent. `keepOnDetach` asks a shared buffer of unchanged layout to keep the
    // values, which resize() promises for unchanged sizes.
    void reshape(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t margin,
                 bool keepOnDetach)
    {
        const CLayout layout = layoutOf(xSize, ySize, zSize, margin);
        const bool sameLayout = xSize == m_xSize && ySize == m_ySize && zSize == m_zSize && margin == m_margin;
        tDataBlock* const old = m_block;
        if (keepOnDetach && sameLayout && old->isShared())
        {
            tDataBlock* fresh = new tDataBlock(layout.count);
            if (layout.count)
                std::memcpy(fresh->getData(), old->getData(), layout.count * sizeof(T));
            old->release();
            m_block = fresh;
        }
        else
        {
            m_block = tDataBlock::resize(old, layout.count);
        }
        setLayout(xSize, ySize, zSize, margin, layout);
    }

    void copyElements(const CVolume& other, std::size_t count) noexcept
    {
        // Same layout on both sides, so the rows of every slice, margins included, are one
        // contiguous run.
        if (count && m_block->getData() != other.m_block->getData())
            std::memcpy(m_block->getData(), other.m_block->getData(), count * sizeof(T));
    }

    std::int32_t m_xSize = 0;
    std::int32_t m_ySize = 0;
    std::int32_t m_zSize = 0;
    std::int32_t m_margin = 0;
    std::int32_t m_yOffset = 0;
    std::int32_t m_zOffset = 0;
    tDataBlock* m_block = nullptr;
    T* m_origin = nullptr;
};

} // namespace kvo::img
