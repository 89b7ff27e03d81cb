#include "host/import/CPhantomSource.h"

#include "host/import/CVolumeLimits.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace velmora::import {

namespace {

constexpr std::uint64_t NOISE_SEED = 0x5eed'0f'ce11'b0d1ULL;

// splitmix64's finaliser: a good 64-bit mix, so neighbouring indices give unrelated noise.
std::uint64_t mix(std::uint64_t value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

std::int16_t noisy(std::int16_t base, std::uint64_t index)
{
    const auto offset = static_cast<int>((mix(index ^ NOISE_SEED) >> 32) % (2 * CPhantomSource::NOISE + 1));
    return static_cast<std::int16_t>(base + offset - CPhantomSource::NOISE);
}

// An axis-aligned ellipsoid in voxel coordinates.
struct CEllipsoid
{
    double cx, cy, cz;
    double ax, ay, az;

    // The voxels of row (y, z) inside the ellipsoid, clipped to 0..xSize-1; false if none.
    bool rowSpan(int y, int z, int xSize, int& first, int& last) const
    {
        const double v = (y - cy) / ay;
        const double w = (z - cz) / az;
        const double t = 1.0 - v * v - w * w;
        if (t < 0.0)
            return false;
        const double half = ax * std::sqrt(t);
        first = std::max(0, static_cast<int>(std::ceil(cx - half)));
        last = std::min(xSize - 1, static_cast<int>(std::floor(cx + half)));
        return first <= last;
    }
};

// Body geometry for a volume size; every other shape is placed relative to it.
struct CBody
{
    double cx, cy, cz;
    double ax, ay, az;

    CBody(int xSize, int ySize, int zSize)
        : cx((xSize - 1) / 2.0)
        , cy((ySize - 1) / 2.0)
        , cz((zSize - 1) / 2.0)
        , ax(0.45 * xSize)
        , ay(0.35 * ySize)
        , az(0.45 * zSize)
    {
    }

    // Centre and semi-axes given as fractions of the body's semi-axes.
    CEllipsoid shape(double u, double v, double w, double scale) const
    {
        return {cx + u * ax, cy + v * ay, cz + w * az, scale * ax, scale * ay, scale * az};
    }
};

constexpr double SHELL_OUTER = 0.85;
constexpr double SHELL_INNER = 0.75;

constexpr std::array<std::array<double, 3>, CPhantomSource::DOT_COUNT> DOT_PLACES = {{
    {0.0, -0.45, 0.0},
    {0.25, -0.45, 0.0},
    {-0.25, -0.45, 0.0},
    {0.0, -0.45, 0.3},
    {0.0, -0.45, -0.3},
}};

} // namespace

CPhantomSource::CPhantomSource(int xSize, int ySize, int zSize, double dx, double dy, double dz)
    : m_xSize(xSize)
    , m_ySize(ySize)
    , m_zSize(zSize)
    , m_dx(dx)
    , m_dy(dy)
    , m_dz(dz)
{
}

std::vector<std::array<int, 3>> CPhantomSource::dotPositions() const
{
    const CBody body(m_xSize, m_ySize, m_zSize);
    auto place = [](double centre, double semiAxis, double fraction, int size) {
        return std::clamp(static_cast<int>(std::lround(centre + fraction * semiAxis)), 0, size - 1);
    };
    std::vector<std::array<int, 3>> positions;
    for (const auto& p : DOT_PLACES)
        positions.push_back({place(body.cx, body.ax, p[0], m_xSize), place(body.cy, body.ay, p[1], m_ySize),
                             place(body.cz, body.az, p[2], m_zSize)});
    return positions;
}

CLoadedVolume CPhantomSource::generate() const
{
    const std::string source = "Synthetic phantom";
    const std::size_t voxelCount = CVolumeLimits::checkedVoxelCount(m_xSize, m_ySize, m_zSize, source);
    CVolumeLimits::checkSpacing(m_dx, m_dy, m_dz, source);

    CLoadedVolume volume;
    volume.xSize = m_xSize;
    volume.ySize = m_ySize;
    volume.zSize = m_zSize;
    volume.dx = m_dx;
    volume.dy = m_dy;
    volume.dz = m_dz;
    volume.voxels.resize(voxelCount);

    const CBody body(m_xSize, m_ySize, m_zSize);
    const CEllipsoid outline = body.shape(0, 0, 0, 1.0);
    const CEllipsoid shellOuter = body.shape(0, 0, 0, SHELL_OUTER);
    const CEllipsoid shellInner = body.shape(0, 0, 0, SHELL_INNER);
    const CEllipsoid fat = body.shape(-0.35, 0.1, 0.0, 0.2);
    const CEllipsoid contrast = body.shape(0.35, 0.1, 0.0, 0.2);
    const CEllipsoid metal = body.shape(0.0, 0.4, 0.0, 0.1);

    // Each row is painted in layers, later shapes over earlier ones; the spans come from
    // one square root per shape and row, so the inner loops only store values.
    for (int z = 0; z < m_zSize; ++z) {
        for (int y = 0; y < m_ySize; ++y) {
            const std::size_t rowStart
                = (static_cast<std::size_t>(z) * static_cast<std::size_t>(m_ySize) + static_cast<std::size_t>(y))
                  * static_cast<std::size_t>(m_xSize);
            std::int16_t* row = volume.voxels.data() + rowStart;
            std::fill(row, row + m_xSize, AIR);
            int first = 0;
            int last = 0;
            auto paintNoisy = [&](const CEllipsoid& shape, std::int16_t base) {
                if (shape.rowSpan(y, z, m_xSize, first, last))
                    for (int x = first; x <= last; ++x)
                        row[x] = noisy(base, rowStart + static_cast<std::size_t>(x));
            };
            auto paintFlat = [&](const CEllipsoid& shape, std::int16_t value) {
                if (shape.rowSpan(y, z, m_xSize, first, last))
                    std::fill(row + first, row + last + 1, value);
            };
            paintNoisy(outline, TISSUE);
            paintFlat(shellOuter, BONE);
            paintNoisy(shellInner, TISSUE);
            paintNoisy(fat, FAT);
            paintFlat(contrast, CONTRAST);
            paintFlat(metal, METAL);
        }
    }
    for (const auto& p : dotPositions())
        volume.voxels[(static_cast<std::size_t>(p[2]) * static_cast<std::size_t>(m_ySize) + static_cast<std::size_t>(p[1]))
                          * static_cast<std::size_t>(m_xSize)
                      + static_cast<std::size_t>(p[0])]
            = DOT;
    return volume;
}

} // namespace velmora::import
