#pragma once
// A dense numeric matrix stored row by row in one 16-byte aligned block that it owns
// exclusively: element (r, c) is data[r * columns + c].
//
// Elements are not initialised on construction or resize. Resizing to any shape with the
// same element count keeps the block and its contents (only the dimensions change), which
// iterative algorithms rely on when they reuse a matrix; another count gives a fresh,
// uninitialised block (count 0: no block, null data). Copies copy the elements. Access is
// not bounds-checked. Allocation failure throws std::bad_alloc and leaves the matrix as it
// was; negative dimensions throw CMatrix::CBadSize.

#include "toolkit/base/CException.h"
#include "toolkit/base/CObject.h"
#include "toolkit/math/AlignedBlock.h"
#include "toolkit/math/CMatrixBase.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace kvo::math {

template <typename T>
class CMatrix : public kvo::base::CObject, public CMatrixBase<CMatrix<T>>
{
    static_assert(std::is_trivially_copyable_v<T>, "matrices hold plain numbers");

public:
    using tElement = T;

    KVO_DECLARE_EXCEPTION(CBadSize, "Negative matrix dimension");

    CMatrix() = default;

    //! rows × columns uninitialised elements.
    CMatrix(std::int32_t rows, std::int32_t columns)
        : m_data(allocateAlignedBlock<T>(countOf(rows, columns))), m_rows(rows), m_columns(columns)
    {
    }

    //! rows × columns elements set to `value`.
    CMatrix(std::int32_t rows, std::int32_t columns, const T& value) : CMatrix(rows, columns) { fill(value); }

    CMatrix(const CMatrix& other)
        : kvo::base::CObject(other), CMatrixBase<CMatrix<T>>(),
          m_data(allocateAlignedBlock<T>(other.getSize())), m_rows(other.m_rows), m_columns(other.m_columns)
    {
        copyElements(other);
    }

    CMatrix(CMatrix&& other) noexcept
        : kvo::base::CObject(other), CMatrixBase<CMatrix<T>>(), m_data(std::exchange(other.m_data, nullptr)),
          m_rows(std::exchange(other.m_rows, 0)), m_columns(std::exchange(other.m_columns, 0))
    {
    }

    //! As copy().
    CMatrix& operator=(const CMatrix& other) { return copy(other); }

    CMatrix& operator=(CMatrix&& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_rows, other.m_rows);
        std::swap(m_columns, other.m_columns);
        return *this;
    }

    ~CMatrix() override { freeAlignedBlock(m_data); }

    //! See the header comment: the same element count keeps the block and its contents.
    void resize(std::int32_t rows, std::int32_t columns)
    {
        const std::size_t count = countOf(rows, columns);
        if (count != getSize())
        {
            T* fresh = allocateAlignedBlock<T>(count);
            freeAlignedBlock(m_data);
            m_data = fresh;
        }
        m_rows = rows;
        m_columns = columns;
    }

    //! Copies the other matrix element by element. A matrix of other dimensions is first
    //! given the other's dimensions (by the rules of resize) rather than overrun.
    CMatrix& copy(const CMatrix& other)
    {
        if (&other == this)
            return *this;
        if (other.m_rows != m_rows || other.m_columns != m_columns)
            resize(other.m_rows, other.m_columns);
        copyElements(other);
        return *this;
    }

    CMatrix& fill(const T& value)
    {
        std::fill_n(m_data, getSize(), value);
        return *this;
    }

    std::int32_t getRows() const noexcept { return m_rows; }
    std::int32_t getColumns() const noexcept { return m_columns; }
    //! Number of elements, rows × columns.
    std::size_t getSize() const noexcept { return std::size_t(m_rows) * std::size_t(m_columns); }

    T& operator()(std::int32_t row, std::int32_t column) noexcept
    {
        return m_data[std::ptrdiff_t(row) * m_columns + column];
    }
    const T& operator()(std::int32_t row, std::int32_t column) const noexcept
    {
        return m_data[std::ptrdiff_t(row) * m_columns + column];
    }

    //! The block (16-byte aligned; null when empty) and the start of one row.
    T* getPtr() noexcept { return m_data; }
    const T* getPtr() const noexcept { return m_data; }
    T* getRowPtr(std::int32_t row) noexcept { return m_data + std::ptrdiff_t(row) * m_columns; }
    const T* getRowPtr(std::int32_t row) const noexcept { return m_data + std::ptrdiff_t(row) * m_columns; }

    // Element-wise arithmetic; matrices of other dimensions combine over the shorter block.
    CMatrix& operator+=(const CMatrix& other)
    {
        const std::size_t n = std::min(getSize(), other.getSize());
        for (std::size_t i = 0; i < n; ++i)
            m_data[i] += other.m_data[i];
        return *this;
    }

    CMatrix& operator-=(const CMatrix& other)
    {
        const std::size_t n = std::min(getSize(), other.getSize());
        for (std::size_t i = 0; i < n; ++i)
            m_data[i] -= other.m_data[i];
        return *this;
    }

    CMatrix& operator*=(const T& factor)
    {
        const std::size_t n = getSize();
        for (std::size_t i = 0; i < n; ++i)
            m_data[i] *= factor;
        return *this;
    }

private:
    static std::size_t countOf(std::int32_t rows, std::int32_t columns)
    {
        if (rows < 0 || columns < 0)
            throw CBadSize();
        return std::size_t(rows) * std::size_t(columns);
    }

    void copyElements(const CMatrix& other) noexcept
    {
        const std::size_t n = getSize();
        if (n)
            std::memcpy(m_data, other.m_data, n * sizeof(T));
    }

    T* m_data = nullptr;
    std::int32_t m_rows = 0;
    std::int32_t m_columns = 0;
};

} // namespace kvo::math
