#pragma once
// Per-voxel functor for forEach: every voxel gets one value.

namespace kvo::img {

template <typename T>
class CFillFunctor
{
public:
    explicit CFillFunctor(const T& value) : m_value(value) {}

    void operator()(T& voxel) const { voxel = m_value; }

private:
    T m_value;
};

} // namespace kvo::img
