#pragma once
// Per-voxel functor for forEach: keeps the largest value seen, starting from a start value.
// Integers are compared as their unsigned counterparts (so a signed -1 beats 7): labels are
// unsigned whatever type carries them. Other types compare as they are.

#include <type_traits>

namespace kvo::img {

template <typename T>
class CMaximumFunctor
{
public:
    explicit CMaximumFunctor(const T& start) : m_value(start) {}

    void operator()(const T& voxel)
    {
        if (key(voxel) > key(m_value))
            m_value = voxel;
    }

    //! The largest value seen (the start value when nothing larger was).
    const T& getValue() const noexcept { return m_value; }

private:
    static auto key(const T& value)
    {
        if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>)
            return static_cast<std::make_unsigned_t<T>>(value);
        else
            return value;
    }

    T m_value;
};

} // namespace kvo::img
