// Binary STL writer: an 80-byte header text, the triangle count and one 50-byte record per
// triangle (normal, three vertices as little-endian floats, a zero attribute count).

#include "toolkit/mod/CChannel.h"
#include "vctl/MCTriS.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace vctl {

namespace {

// Longer than the field: the first 80 characters are written, with no terminating zero.
constexpr char STL_HEADER_TEXT[] =
    "Binary STL file created by conversion of TRI file format, Kvorn::Gravonelle library";
static_assert(sizeof(STL_HEADER_TEXT) - 1 >= 80);

void putFloat(char* out, double value)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
}

bool writePoint(kvo::mod::CChannel& channel, double x, double y, double z)
{
    char bytes[12];
    putFloat(bytes, x);
    putFloat(bytes + 4, y);
    putFloat(bytes + 8, z);
    return channel.write(bytes, 12);
}

} // namespace

bool MCTriS::saveSTL(kvo::mod::CChannel& channel) const
{
    return saveSTL(channel, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0});
}

bool MCTriS::saveSTL(kvo::mod::CChannel& channel, const std::array<double, 12>& placement) const
{
    if (!channel.isConnected())
        return false;
    if (!channel.write(STL_HEADER_TEXT, 80))
        return false;
    const std::uint32_t count = static_cast<std::uint32_t>(getCount());
    const char countBytes[4] = {static_cast<char>(count & 0xFF), static_cast<char>((count >> 8) & 0xFF),
                                static_cast<char>((count >> 16) & 0xFF), static_cast<char>(count >> 24)};
    if (!channel.write(countBytes, 4))
        return false;
    const double* a = placement.data();
    const bool identity = placement == std::array<double, 12>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    const double determinant = a[0] * (a[5] * a[10] - a[6] * a[9]) - a[1] * (a[4] * a[10] - a[6] * a[8])
                               + a[2] * (a[4] * a[9] - a[5] * a[8]);
    const int corners[2][3] = {{0, 1, 2}, {0, 2, 1}};
    const int* order = corners[determinant < 0.0 ? 1 : 0];
    auto place = [&](double x, double y, double z, double shift, double* out) {
        for (int row = 0; row < 3; ++row)
            out[row] = a[4 * row] * x + a[4 * row + 1] * y + a[4 * row + 2] * z + shift * a[4 * row + 3];
    };
    const char attribute[2] = {0, 0};
    for (const MCTri* tri = getFirst(); tri; tri = tri->getNext())
    {
        const MCCoordinate3D<double> n = normal(tri);
        double turned[3] = {n.getX(), n.getY(), n.getZ()};
        if (!identity)
        {
            place(n.getX(), n.getY(), n.getZ(), 0.0, turned);
            const double length = std::sqrt(turned[0] * turned[0] + turned[1] * turned[1] + turned[2] * turned[2]);
            for (double& c : turned)
                c = length > 0.0 ? c / length : 0.0;
        }
        if (!writePoint(channel, turned[0], turned[1], turned[2]))
            return false;
        for (int i = 0; i < 3; ++i)
        {
            const MCVertex* v = tri->getVertex(order[i]);
            double p[3];
            place(v->getX(), v->getY(), v->getZ(), 1.0, p);
            if (!writePoint(channel, p[0], p[1], p[2]))
                return false;
        }
        if (!channel.write(attribute, 2))
            return false;
    }
    return true;
}

} // namespace vctl
