// Binary STL writer: an 80-byte header text, the triangle count and one 50-byte record per
// triangle (normal, three vertices as little-endian floats, a zero attribute count).

#include "toolkit/mod/CChannel.h"
#include "vctl/MCTriS.h"

#include <bit>
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
    if (!channel.isConnected())
        return false;
    if (!channel.write(STL_HEADER_TEXT, 80))
        return false;
    const std::uint32_t count = static_cast<std::uint32_t>(getCount());
    const char countBytes[4] = {static_cast<char>(count & 0xFF), static_cast<char>((count >> 8) & 0xFF),
                                static_cast<char>((count >> 16) & 0xFF), static_cast<char>(count >> 24)};
    if (!channel.write(countBytes, 4))
        return false;
    const char attribute[2] = {0, 0};
    for (const MCTri* tri = getFirst(); tri; tri = tri->getNext())
    {
        const MCCoordinate3D<double> n = normal(tri);
        if (!writePoint(channel, n.getX(), n.getY(), n.getZ()))
            return false;
        for (int i = 0; i < 3; ++i)
        {
            const MCVertex* v = tri->getVertex(i);
            if (!writePoint(channel, v->getX(), v->getY(), v->getZ()))
                return false;
        }
        if (!channel.write(attribute, 2))
            return false;
    }
    return true;
}

} // namespace vctl
