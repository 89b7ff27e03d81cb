#include "host/import/CRawVolumeReader.h"

#include "host/import/CImportError.h"
#include "host/import/CVolumeLimits.h"

#include <bit>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace velmora::import {

CRawVolumeReader::CRawVolumeReader(int xSize, int ySize, int zSize, double dx, double dy, double dz)
    : m_xSize(xSize)
    , m_ySize(ySize)
    , m_zSize(zSize)
    , m_dx(dx)
    , m_dy(dy)
    , m_dz(dz)
{
}

CLoadedVolume CRawVolumeReader::read(const std::string& path) const
{
    const std::string source = "Raw file " + path;
    const std::size_t voxelCount = CVolumeLimits::checkedVoxelCount(m_xSize, m_ySize, m_zSize, source);
    CVolumeLimits::checkSpacing(m_dx, m_dy, m_dz, source);

    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw CImportError(source + " does not exist or is not a file");
    const std::uintmax_t fileSize = std::filesystem::file_size(path, error);
    if (error)
        throw CImportError(source + " cannot be read: " + error.message());
    const std::uintmax_t expectedSize = static_cast<std::uintmax_t>(voxelCount) * 2;
    if (fileSize != expectedSize) {
        std::ostringstream message;
        message << source << " has " << fileSize << " bytes, expected " << expectedSize << " for " << m_xSize
                << " x " << m_ySize << " x " << m_zSize << " voxels of 16 bits";
        throw CImportError(message.str());
    }

    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        throw CImportError(source + " cannot be opened");

    CLoadedVolume volume;
    volume.xSize = m_xSize;
    volume.ySize = m_ySize;
    volume.zSize = m_zSize;
    volume.dx = m_dx;
    volume.dy = m_dy;
    volume.dz = m_dz;
    volume.voxels.resize(voxelCount);
    stream.read(reinterpret_cast<char*>(volume.voxels.data()), static_cast<std::streamsize>(expectedSize));
    // The size was right a moment ago; a short read means the file changed under us.
    if (static_cast<std::uintmax_t>(stream.gcount()) != expectedSize)
        throw CImportError(source + " ended before all voxels were read");

    if constexpr (std::endian::native == std::endian::big) {
        for (std::int16_t& value : volume.voxels) {
            const auto bits = static_cast<std::uint16_t>(value);
            value = static_cast<std::int16_t>(static_cast<std::uint16_t>((bits >> 8) | (bits << 8)));
        }
    }
    return volume;
}

} // namespace velmora::import
