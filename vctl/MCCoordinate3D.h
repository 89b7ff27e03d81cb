#pragma once
// A point or vector of three coordinates.

namespace vctl {

template <typename T>
class MCCoordinate3D
{
public:
    MCCoordinate3D() = default;
    MCCoordinate3D(T x, T y, T z) : m_x(x), m_y(y), m_z(z) {}

    T getX() const { return m_x; }
    T getY() const { return m_y; }
    T getZ() const { return m_z; }
    void setX(T x) { m_x = x; }
    void setY(T y) { m_y = y; }
    void setZ(T z) { m_z = z; }
    void setXYZ(T x, T y, T z)
    {
        m_x = x;
        m_y = y;
        m_z = z;
    }

protected:
    T m_x = T();
    T m_y = T();
    T m_z = T();
};

} // namespace vctl
