#pragma once
// Small vector helpers and the triangle measures shared by the mesh refinement steps:
// unit normals that are the zero vector for degenerate triangles (so that a dot product
// with them is 0, never NaN), the shape quality and the longest edge of a triangle.

#include "vctl/MCTri.h"
#include "vctl/MCVertex.h"

#include <cmath>

namespace meshgeometry {

struct CVector
{
    double x = 0.0, y = 0.0, z = 0.0;
};

inline CVector position(const vctl::MCVertex* v) { return {v->getX(), v->getY(), v->getZ()}; }
inline CVector operator-(const CVector& a, const CVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline CVector operator+(const CVector& a, const CVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline CVector operator*(const CVector& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(const CVector& a, const CVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline CVector cross(const CVector& a, const CVector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(const CVector& a) { return std::sqrt(dot(a, a)); }

//! a / |a|; the zero vector when |a| is 0.
inline CVector normalised(const CVector& a)
{
    const double l = length(a);
    return l == 0.0 ? CVector{} : CVector{a.x / l, a.y / l, a.z / l};
}

//! Unit normal of the triangle (p0, p1, p2) by the right-hand rule; zero when degenerate.
inline CVector unitNormal(const CVector& p0, const CVector& p1, const CVector& p2)
{
    return normalised(cross(p1 - p0, p2 - p0));
}
inline CVector unitNormal(const vctl::MCTri* t)
{
    return unitNormal(position(t->getVertex(0)), position(t->getVertex(1)), position(t->getVertex(2)));
}

//! Area of the triangle (p0, p1, p2).
inline double area(const CVector& p0, const CVector& p1, const CVector& p2)
{
    return length(cross(p1 - p0, p2 - p0)) / 2.0;
}

//! Shape quality: perimeter × longest edge × sqrt(3) / (12 × area); 1 for an equilateral
//! triangle, growing as the triangle degenerates; 1e6 for a zero area.
inline double quality(const CVector& p0, const CVector& p1, const CVector& p2)
{
    const double a = length(p0 - p1), b = length(p1 - p2), c = length(p2 - p0);
    const double doubleArea = length(cross(p1 - p0, p2 - p0));
    if (doubleArea == 0.0)
        return 1e6;
    const double longest = std::fmax(a, std::fmax(b, c));
    return (a + b + c) * (longest * 1.7320508075688772) / (doubleArea / 2.0 * 12.0);
}
inline double quality(const vctl::MCTri* t)
{
    return quality(position(t->getVertex(0)), position(t->getVertex(1)), position(t->getVertex(2)));
}

//! Index i of the longest edge (vertex i to vertex (i + 1) mod 3); ties go to the higher index.
inline int longestEdge(const vctl::MCTri* t)
{
    const CVector p0 = position(t->getVertex(0)), p1 = position(t->getVertex(1)), p2 = position(t->getVertex(2));
    const double a = length(p0 - p1), b = length(p1 - p2), c = length(p2 - p0);
    if (a > b && a > c)
        return 0;
    return b > c ? 1 : 2;
}

} // namespace meshgeometry
