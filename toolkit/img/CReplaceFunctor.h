#pragma once
// Per-voxel functor for forEach: every voxel equal to `from` becomes `to`.

namespace kvo::img {

template <typename T>
class CReplaceFunctor
{
public:
    CReplaceFunctor(const T& from, const T& to) : m_from(from), m_to(to) {}

    void operator()(T& voxel) const
    {
        if (voxel == m_from)
            voxel = m_to;
    }

private:
    T m_from;
    T m_to;
};

} // namespace kvo::img
