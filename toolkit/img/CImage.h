#pragma once
// A 2D raster of pixels with a border (the margin) of extra pixels on every side, in one
// shared pixel buffer (CDataBlock). The 2D counterpart of CVolume, with the same rules.
//
// Layout: x fastest, then y. With X, Y the sizes and M the margin:
//   y offset = X + 2M                 (elements between two rows)
//   buffer   = (Y + 2M) * y offset    elements
//   origin   = buffer start + M * (y offset + 1), the pixel (0, 0)
// Pixel (x, y) is origin[x + y * y offset] for -M <= x < X + M and -M <= y < Y + M.
// Nothing is bounds-checked.
//
// Copy construction and copy() give a private buffer; fill, forEach and copyBlock touch
// the interior only. Allocation failure throws std::bad_alloc and leaves the image as it
// was; negative sizes or margins throw CImage::CBadSize.

#include "toolkit/base/CException.h"
#include "toolkit/base/CObject.h"
#include "toolkit/img/CDataBlock.h"
#include "toolkit/img/CImageBase.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace kvo::img {

template <typename T>
class CImage : public kvo::base::CObject, public CImageBase<CImage<T>>
{
public:
    using tPixel = T;
    using tDataBlock = CDataBlock<T>;

    KVO_DECLARE_EXCEPTION(CBadSize, "Negative image size or margin");

    //! An empty image: sizes, margin and offset 0, no elements.
    CImage() : m_block(new tDataBlock(0)) {}

    //! An image of x × y pixels with `margin` border pixels on each side; not initialised.
    CImage(std::int32_t xSize, std::int32_t ySize, std::int32_t margin = 0)
    {
        const CLayout layout = layoutOf(xSize, ySize, margin);
        m_block = new tDataBlock(layout.count);
        setLayout(xSize, ySize, margin, layout);
    }

    //! An image that shares `block` (taking one reference), which must hold at least the
    //! layout's element count, else CBadSize.
    CImage(tDataBlock& block, std::int32_t xSize, std::int32_t ySize, std::int32_t margin)
    {
        const CLayout layout = layoutOf(xSize, ySize, margin);
        if (block.getSize() < layout.count)
            throw CBadSize();
        block.addReference();
        m_block = &block;
        setLayout(xSize, ySize, margin, layout);
    }

    //! Same sizes and margin, a private buffer, every element copied (margins included).
    CImage(const CImage& other) : kvo::base::CObject(other), CImageBase<CImage<T>>()
    {
        const CLayout layout = layoutOf(other.m_xSize, other.m_ySize, other.m_margin);
        m_block = new tDataBlock(layout.count);
        setLayout(other.m_xSize, other.m_ySize, other.m_margin, layout);
        copyElements(other, layout.count);
    }

    //! As copy().
    CImage& operator=(const CImage& other)
    {
        copy(other);
        return *this;
    }

    ~CImage() override { m_block->release(); }

    //! Takes the other image's sizes and margin and copies every element, margins included.
    CImage& copy(const CImage& other)
    {
        if (&other == this)
            return *this;
        reshape(other.m_xSize, other.m_ySize, other.m_margin, false);
        copyElements(other, layoutCount());
        return *this;
    }

    //! Copies the interior block of min(X) × min(Y) pixels of `source`; everything else
    //! stays. Nothing when `source` is this image.
    void copyBlock(const CImage& source)
    {
        if (&source == this)
            return;
        const std::int32_t xCount = std::min(m_xSize, source.m_xSize);
        const std::int32_t yCount = std::min(m_ySize, source.m_ySize);
        if (xCount <= 0)
            return;
        for (std::int32_t y = 0; y < yCount; ++y)
            std::memmove(getRowPtr(y), source.getRowPtr(y), std::size_t(xCount) * sizeof(T));
    }

    //! As CVolume::resize: the buffer is kept when not shared and the new count lies in
    //! [old / 2, old], else reallocated or replaced; values are kept only for an unchanged
    //! layout.
    void resize(std::int32_t xSize, std::int32_t ySize, std::int32_t margin = 0)
    {
        reshape(xSize, ySize, margin, true);
    }

    //! Sets every interior pixel to `value`; the margin is untouched. Returns `value`.
    T fill(const T& value)
    {
        for (std::int32_t y = 0; y < m_ySize; ++y)
            std::fill_n(getRowPtr(y), m_xSize, value);
        return value;
    }

    //! Sets every margin pixel to `value`; the interior is untouched.
    void fillMargin(const T& value)
    {
        if (m_margin == 0)
            return;
        for (std::int32_t y = -m_margin; y < m_ySize + m_margin; ++y)
        {
            T* row = getPtr(-m_margin, y);
            if (y < 0 || y >= m_ySize)
            {
                std::fill_n(row, m_yOffset, value);
            }
            else
            {
                std::fill_n(row, m_margin, value);
                std::fill_n(row + m_margin + m_xSize, m_margin, value);
            }
        }
    }

    //! Sets every element of the buffer, margins included, to `value`.
    void fillEntire(const T& value) { std::fill_n(m_block->getData(), layoutCount(), value); }

    //! Hands every interior pixel by reference to `functor` (y outer, x fastest) and
    //! returns the functor.
    template <class Functor>
    Functor forEach(Functor functor)
    {
        for (std::int32_t y = 0; y < m_ySize; ++y)
        {
            T* p = getRowPtr(y);
            for (T* const end = p + m_xSize; p != end; ++p)
                functor(*p);
        }
        return functor;
    }

    std::int32_t getXSize() const noexcept { return m_xSize; }
    std::int32_t getYSize() const noexcept { return m_ySize; }
    std::int32_t getMargin() const noexcept { return m_margin; }
    static constexpr std::ptrdiff_t getXOffset() noexcept { return 1; }
    std::ptrdiff_t getYOffset() const noexcept { return m_yOffset; }

    //! Index of pixel (x, y) relative to the origin.
    std::ptrdiff_t getIdx(std::int32_t x, std::int32_t y) const noexcept
    {
        return std::ptrdiff_t(x) + std::ptrdiff_t(y) * m_yOffset;
    }

    T& at(std::int32_t x, std::int32_t y) noexcept { return m_origin[getIdx(x, y)]; }
    const T& at(std::int32_t x, std::int32_t y) const noexcept { return m_origin[getIdx(x, y)]; }

    //! The origin: address of pixel (0, 0).
    T* getPtr() noexcept { return m_origin; }
    const T* getPtr() const noexcept { return m_origin; }
    T* getPtr(std::int32_t x, std::int32_t y) noexcept { return m_origin + getIdx(x, y); }
    const T* getPtr(std::int32_t x, std::int32_t y) const noexcept { return m_origin + getIdx(x, y); }
    //! Address of pixel (0, y).
    T* getRowPtr(std::int32_t y) noexcept { return m_origin + getIdx(0, y); }
    const T* getRowPtr(std::int32_t y) const noexcept { return m_origin + getIdx(0, y); }

    tDataBlock* getBlock() const noexcept { return m_block; }
    //! Number of buffer elements the layout uses: (Y + 2M) * y offset.
    std::size_t getBufferSize() const noexcept { return layoutCount(); }

private:
    struct CLayout
    {
        std::int32_t yOffset;
        std::size_t count;
        std::ptrdiff_t originIndex;
    };

    static CLayout layoutOf(std::int32_t xSize, std::int32_t ySize, std::int32_t margin)
    {
        if (xSize < 0 || ySize < 0 || margin < 0)
            throw CBadSize();
        const std::int64_t xSpan = std::int64_t(xSize) + 2 * std::int64_t(margin);
        const std::int64_t ySpan = std::int64_t(ySize) + 2 * std::int64_t(margin);
        std::size_t count = 0;
        if (xSpan > INT32_MAX || __builtin_mul_overflow(std::size_t(ySpan), std::size_t(xSpan), &count)
            || count > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        return {std::int32_t(xSpan), count, std::ptrdiff_t(margin) * (xSpan + 1)};
    }

    std::size_t layoutCount() const noexcept
    {
        return std::size_t(m_ySize + 2 * std::int64_t(m_margin)) * std::size_t(m_yOffset);
    }

    void setLayout(std::int32_t xSize, std::int32_t ySize, std::int32_t margin, const CLayout& layout) noexcept
    {
        m_xSize = xSize;
        m_ySize = ySize;
        m_margin = margin;
        m_yOffset = layout.yOffset;
        m_origin = m_block->getData() + layout.originIndex;
    }

    // The buffer changes before any field does, so a failed allocation leaves the image
    // consistent; see CVolume::reshape.
    void reshape(std::int32_t xSize, std::int32_t ySize, std::int32_t margin, bool keepOnDetach)
    {
        const CLayout layout = layoutOf(xSize, ySize, margin);
        const bool sameLayout = xSize == m_xSize && ySize == m_ySize && margin == m_margin;
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
        setLayout(xSize, ySize, margin, layout);
    }

    void copyElements(const CImage& other, std::size_t count) noexcept
    {
        if (count && m_block->getData() != other.m_block->getData())
            std::memcpy(m_block->getData(), other.m_block->getData(), count * sizeof(T));
    }

    std::int32_t m_xSize = 0;
    std::int32_t m_ySize = 0;
    std::int32_t m_margin = 0;
    std::int32_t m_yOffset = 0;
    tDataBlock* m_block = nullptr;
    T* m_origin = nullptr;
};

} // namespace kvo::img
