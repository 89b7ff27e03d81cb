#pragma once
// A fixed-size numeric vector in one 16-byte aligned block that it owns exclusively.
//
// Elements are not initialised on construction or resize. Resizing to the current size
// keeps the block and its contents; any other size gives a fresh, uninitialised block
// (size 0: no block, null data). Copies copy the elements. Element access is not
// bounds-checked. Allocation failure throws std::bad_alloc and leaves the vector as it was;
// a negative size throws CVector::CBadSize.

#include "toolkit/base/CException.h"
#include "toolkit/base/CObject.h"
#include "toolkit/math/AlignedBlock.h"
#include "toolkit/math/CVectorBase.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace kvo::math {

template <typename T>
class CVector : public kvo::base::CObject, public CVectorBase<CVector<T>>
{
    static_assert(std::is_trivially_copyable_v<T>, "vectors hold plain numbers");

public:
    using tElement = T;

    KVO_DECLARE_EXCEPTION(CBadSize, "Negative vector size");

    CVector() = default;

    //! `size` uninitialised elements.
    explicit CVector(std::int32_t size) : m_data(allocate(size)), m_size(size) {}

    //! `size` elements set to `value`.
    CVector(std::int32_t size, const T& value) : CVector(size) { fill(value); }

    CVector(const CVector& other)
        : kvo::base::CObject(other), CVectorBase<CVector<T>>(), m_data(allocate(other.m_size)), m_size(other.m_size)
    {
        copyElements(other);
    }

    CVector(CVector&& other) noexcept
        : kvo::base::CObject(other), CVectorBase<CVector<T>>(), m_data(std::exchange(other.m_data, nullptr)),
          m_size(std::exchange(other.m_size, 0))
    {
    }

    //! Resizes to the other's size and copies its elements.
    CVector& operator=(const CVector& other)
    {
        if (&other != this)
        {
            resize(other.m_size);
            copyElements(other);
        }
        return *this;
    }

    CVector& operator=(CVector&& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        return *this;
    }

    ~CVector() override { freeAlignedBlock(m_data); }

    //! See the header comment: the same size keeps everything, another size gives a fresh
    //! uninitialised block.
    void resize(std::int32_t size)
    {
        if (size == m_size)
            return;
        T* fresh = allocate(size);
        freeAlignedBlock(m_data);
        m_data = fresh;
        m_size = size;
    }

    std::int32_t getSize() const noexcept { return m_size; }

    T& operator()(std::int32_t i) noexcept { return m_data[i]; }
    const T& operator()(std::int32_t i) const noexcept { return m_data[i]; }
    T& operator[](std::int32_t i) noexcept { return m_data[i]; }
    const T& operator[](std::int32_t i) const noexcept { return m_data[i]; }

    //! The block (16-byte aligned; null when the size is 0).
    T* getPtr() noexcept { return m_data; }
    const T* getPtr() const noexcept { return m_data; }

    CVector& fill(const T& value)
    {
        std::fill_n(m_data, m_size, value);
        return *this;
    }

    // Element-wise arithmetic. Vectors of different sizes combine over the shorter length.
    CVector& operator+=(const CVector& other)
    {
        const std::int32_t n = std::min(m_size, other.m_size);
        for (std::int32_t i = 0; i < n; ++i)
            m_data[i] += other.m_data[i];
        return *this;
    }

    CVector& operator-=(const CVector& other)
    {
        const std::int32_t n = std::min(m_size, other.m_size);
        for (std::int32_t i = 0; i < n; ++i)
            m_data[i] -= other.m_data[i];
        return *this;
    }

    CVector& operator*=(const T& factor)
    {
        for (std::int32_t i = 0; i < m_size; ++i)
            m_data[i] *= factor;
        return *this;
    }

    //! Sum of the elements (0 for an empty vector).
    T sum() const
    {
        T total = T(0);
        for (std::int32_t i = 0; i < m_size; ++i)
            total += m_data[i];
        return total;
    }

    //! Scalar product over the shorter length.
    T dot(const CVector& other) const
    {
        const std::int32_t n = std::min(m_size, other.m_size);
        T total = T(0);
        for (std::int32_t i = 0; i < n; ++i)
            total += m_data[i] * other.m_data[i];
        return total;
    }

private:
    static T* allocate(std::int32_t size)
    {
        if (size < 0)
            throw CBadSize();
        return allocateAlignedBlock<T>(std::size_t(size));
    }

    void copyElements(const CVector& other) noexcept
    {
        if (m_size > 0)
            std::memcpy(m_data, other.m_data, std::size_t(m_size) * sizeof(T));
    }

    T* m_data = nullptr;
    std::int32_t m_size = 0;
};

} // namespace kvo::math
