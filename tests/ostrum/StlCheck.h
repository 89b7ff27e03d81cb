#pragma once
// A binary STL reader and surface checks that know nothing of the mesh library: the file is
// read byte by byte, vertices are welded by their exact float coordinates, and the welded
// surface must be closed, consistently oriented, enclose a positive volume and carry unit
// normals that agree with the right-hand rule and point outwards.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace stlcheck {

using tPoint = std::array<float, 3>;

struct CStlTriangle
{
    tPoint normal;
    std::array<tPoint, 3> corners;
    std::uint16_t attributes = 0;
};

struct CStlFile
{
    std::string problem; //!< empty when the layout is sound
    std::string header;  //!< the 80 header bytes
    std::uint32_t count = 0;
    std::vector<CStlTriangle> triangles;
};

inline float floatAt(const std::string& bytes, std::size_t offset)
{
    std::uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 8 | static_cast<unsigned char>(bytes[offset + i]);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

inline CStlFile readStl(const std::filesystem::path& path)
{
    CStlFile file;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 84)
    {
        file.problem = "shorter than 84 bytes";
        return file;
    }
    file.header = bytes.substr(0, 80);
    for (int i = 3; i >= 0; --i)
        file.count = file.count << 8 | static_cast<unsigned char>(bytes[80 + i]);
    if (bytes.size() != 84 + 50ull * file.count)
    {
        file.problem = "size " + std::to_string(bytes.size()) + " for " + std::to_string(file.count) + " triangles";
        return file;
    }
    for (std::uint32_t t = 0; t < file.count; ++t)
    {
        const std::size_t record = 84 + 50ull * t;
        CStlTriangle triangle;
        for (int i = 0; i < 3; ++i)
            triangle.normal[i] = floatAt(bytes, record + 4 * i);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 3; ++i)
                triangle.corners[c][i] = floatAt(bytes, record + 12 + 12 * c + 4 * i);
        triangle.attributes = static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[record + 48]) |
                                                         static_cast<unsigned char>(bytes[record + 49]) << 8);
        file.triangles.push_back(triangle);
    }
    return file;
}

struct CSurfaceReport
{
    std::string problem; //!< the first fault found, empty when none
    std::size_t vertices = 0;
    std::size_t edges = 0;
    double volume = 0.0; //!< enclosed volume by the divergence theorem
    tPoint low{}, high{}; //!< bounding box of the vertices
};

inline CSurfaceReport checkSurface(const CStlFile& file)
{
    CSurfaceReport report;
    const auto fail = [&](const std::string& what) {
        if (report.problem.empty())
            report.problem = what;
    };
    if (!file.problem.empty())
    {
        fail(file.problem);
        return report;
    }
    std::map<tPoint, int> weld;
    std::vector<tPoint> points;
    std::vector<std::array<int, 3>> faces;
    for (const CStlTriangle& triangle : file.triangles)
    {
        std::array<int, 3> face{};
        for (int c = 0; c < 3; ++c)
        {
            const auto [it, added] = weld.emplace(triangle.corners[c], int(points.size()));
            if (added)
                points.push_back(triangle.corners[c]);
            face[c] = it->second;
        }
        if (face[0] == face[1] || face[1] == face[2] || face[0] == face[2])
            fail("degenerate triangle");
        faces.push_back(face);
        if (triangle.attributes != 0)
            fail("attribute count not 0");
    }
    report.vertices = points.size();

    // Every directed edge once and its reverse once: closed, 2-manifold along edges, and
    // consistently oriented.
    std::map<std::pair<int, int>, int> directed;
    for (const auto& face : faces)
        for (int i = 0; i < 3; ++i)
            ++directed[{face[i], face[(i + 1) % 3]}];
    for (const auto& [edge, uses] : directed)
    {
        if (uses != 1)
            fail("directed edge used " + std::to_string(uses) + " times");
        else if (!directed.count({edge.second, edge.first}))
            fail("open or inconsistently oriented edge");
    }
    report.edges = directed.size() / 2;

    // Volume, normals, bounding box and the area vectors around the extreme vertices.
    std::vector<std::array<double, 3>> vertexArea(points.size(), {0.0, 0.0, 0.0});
    report.low = report.high = points.empty() ? tPoint{} : points[0];
    for (const tPoint& p : points)
        for (int i = 0; i < 3; ++i)
        {
            report.low[i] = std::min(report.low[i], p[i]);
            report.high[i] = std::max(report.high[i], p[i]);
        }
    for (std::size_t t = 0; t < faces.size(); ++t)
    {
        const tPoint& a = points[faces[t][0]];
        const tPoint& b = points[faces[t][1]];
        const tPoint& c = points[faces[t][2]];
        const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        report.volume += (double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
                          double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
                          double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0])) /
                         6.0;
        const tPoint& stored = file.triangles[t].normal;
        const double storedLength =
            std::sqrt(double(stored[0]) * stored[0] + double(stored[1]) * stored[1] + double(stored[2]) * stored[2]);
        if (length == 0.0)
            fail("zero-area triangle");
        else if (std::fabs(storedLength - 1.0) > 1e-5)
            fail("normal is not a unit vector");
        else if ((n[0] * stored[0] + n[1] * stored[1] + n[2] * stored[2]) / length < 0.9999)
            fail("normal disagrees with the vertex order");
        for (int c3 = 0; c3 < 3; ++c3)
            for (int i = 0; i < 3; ++i)
                vertexArea[faces[t][c3]][i] += n[i];
    }
    if (report.volume <= 0.0)
        fail("enclosed volume not positive");
    // At a vertex with the largest (smallest) coordinate along an axis the surface turns its
    // outside towards that side: the triangles around it face +axis (−axis) on the whole.
    for (int axis = 0; axis < 3; ++axis)
    {
        int highest = 0, lowest = 0;
        for (std::size_t p = 0; p < points.size(); ++p)
        {
            if (points[p][axis] > points[highest][axis])
                highest = int(p);
            if (points[p][axis] < points[lowest][axis])
                lowest = int(p);
        }
        if (!points.empty() && (vertexArea[highest][axis] <= 0.0 || vertexArea[lowest][axis] >= 0.0))
            fail("normals point inwards at an extreme vertex along axis " + std::to_string(axis));
    }
    return report;
}

//! The header every file of this system starts with.
inline std::string expectedHeader()
{
    return std::string("Binary STL file created by conversion of TRI file format, Kvorn::Gravonelle library")
        .substr(0, 80);
}

} // namespace stlcheck
