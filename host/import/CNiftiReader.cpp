#include "host/import/CNiftiReader.h"

#include "host/import/CDensityRounder.h"
#include "host/import/CImportError.h"
#include "host/import/CVolumeLimits.h"

#include <nifti2_io.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <type_traits>

namespace velmora::import {

namespace {

struct CNiftiImageDeleter
{
    void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using CNiftiImagePtr = std::unique_ptr<nifti_image, CNiftiImageDeleter>;

// The voxel data through zlib, which reads plain files as they are: a gzip stream is read
// to its end so that its length and check are verified, not only the part we need.
class CDataStream
{
public:
    CDataStream(const std::string& path, std::int64_t offset, const std::string& source)
        : m_file(gzopen(path.c_str(), "rb")), m_source(source)
    {
        if (m_file == nullptr)
            throw CImportError(source + ": its data file " + path + " cannot be opened");
        gzbuffer(m_file, 1 << 18);
        if (gzseek(m_file, static_cast<z_off_t>(offset), SEEK_SET) != static_cast<z_off_t>(offset))
            throw CImportError(source + " is too short to hold its voxel data; the file is truncated or damaged");
    }
    ~CDataStream() { gzclose(m_file); }
    CDataStream(const CDataStream&) = delete;
    CDataStream& operator=(const CDataStream&) = delete;

    //! Reads up to `bytes` bytes; fewer only at the end of the data. Throws when the stream
    //! is damaged.
    std::size_t read(void* data, std::size_t bytes)
    {
        std::size_t done = 0;
        while (done < bytes) {
            const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes - done, 1u << 30));
            const int got = gzread(m_file, static_cast<char*>(data) + done, piece);
            if (got < 0)
                fail();
            if (got == 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    //! Reads what is left (further volumes, the gzip trailer) and throws unless the stream
    //! ends intact.
    void finish()
    {
        std::vector<char> rest(1 << 16);
        while (read(rest.data(), rest.size()) == rest.size()) {
        }
        int error = Z_OK;
        gzerror(m_file, &error);
        if (error != Z_OK)
            fail();
    }

private:
    [[noreturn]] void fail()
    {
        int error = Z_OK;
        const char* text = gzerror(m_file, &error);
        throw CImportError(m_source + " is damaged: its compressed data cannot be read ("
                           + (text && *text ? std::string(text) : "zlib error " + std::to_string(error)) + ")");
    }

    gzFile m_file;
    std::string m_source;
};

// How stored values become densities.
struct CScaling
{
    bool enabled = false;
    double slope = 1.0;
    double intercept = 0.0;
};

// Voxels are read and converted in chunks of this many, so the temporary buffer stays
// small whatever the stored type and volume size.
constexpr std::size_t CHUNK_VOXELS = std::size_t(1) << 18;

template <typename T>
std::int16_t convert(T value, const CScaling& scaling, CDensityRounder& rounder)
{
    if (scaling.enabled || std::is_floating_point_v<T>)
        return rounder.fromReal(static_cast<double>(value) * scaling.slope + scaling.intercept);
    if constexpr (std::is_same_v<T, std::uint64_t>)
        return rounder.fromInteger(static_cast<std::int64_t>(
            std::min<std::uint64_t>(value, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))));
    else
        return rounder.fromInteger(static_cast<std::int64_t>(value));
}

template <typename T>
void readVoxels(CDataStream& file, std::size_t voxelCount, bool swapBytes, const CScaling& scaling,
                CDensityRounder& rounder, const std::string& source, std::vector<std::int16_t>& out)
{
    // Address space only: memory is taken as the data arrive, so a small compressed file
    // that claims a large volume costs nothing until its voxels exist, and the volume is
    // never copied to grow.
    out.clear();
    out.reserve(voxelCount);
    // Unscaled integers of up to 32 bits in this machine's byte order: a bulk conversion,
    // or none at all for 16-bit values, which are read straight into the volume.
    constexpr bool BULK = std::is_integral_v<T> && sizeof(T) <= 4;
    const bool bulk = BULK && !scaling.enabled && !(swapBytes && sizeof(T) > 1);
    const bool direct = bulk && std::is_same_v<T, std::int16_t>;
    std::vector<T> chunk(direct ? 0 : std::min(voxelCount, CHUNK_VOXELS));
    std::size_t done = 0;
    while (done < voxelCount) {
        const std::size_t wanted = std::min(CHUNK_VOXELS, voxelCount - done);
        const std::size_t start = out.size();
        out.resize(start + wanted);
        std::int16_t* target = out.data() + start;
        void* into = direct ? static_cast<void*>(target) : static_cast<void*>(chunk.data());
        const std::size_t got = file.read(into, wanted * sizeof(T)) / sizeof(T);
        if (got != wanted) {
            std::ostringstream message;
            message << source << " ends after " << (done + got) << " of its " << voxelCount
                    << " voxels; the file is truncated or damaged";
            throw CImportError(message.str());
        }
        if constexpr (BULK) {
            if (direct) {
                done += got;
                continue;
            }
            if (bulk) {
                rounder.fromIntegers<T>(chunk.data(), got, 0, 0, target);
                done += got;
                continue;
            }
        }
        if (swapBytes && sizeof(T) > 1)
            nifti_swap_Nbytes(static_cast<int64_t>(got), sizeof(T), chunk.data());
        for (std::size_t i = 0; i < got; ++i)
            target[i] = convert(chunk[i], scaling, rounder);
        done += got;
    }
    file.finish();
}

template <typename T>
T fieldAt(const unsigned char* header, std::size_t offset, bool swapped)
{
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, header + offset, sizeof(T));
    if (swapped)
        std::reverse(bytes, bytes + sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// The library repairs what it finds wrong in a header (a size of 0 becomes 1, a voxel
// offset inside the header becomes the end of the header, a voxel size that is not a number
// becomes 1) and reads on; we read the header as stored first and refuse those files
// instead of loading voxels from the wrong place. Returns pixdim[1..3] as stored (nothing
// when the file is no NIfTI at all, which the library then reports).
std::optional<std::array<double, 3>> checkStoredHeader(const std::string& path, const std::string& source)
{
    unsigned char header[540] = {};
    int got = 0;
    {
        gzFile file = gzopen(path.c_str(), "rb");
        if (file == nullptr)
            throw CImportError(source + " cannot be opened");
        got = gzread(file, header, sizeof header);
        gzclose(file);
    }
    const auto size = fieldAt<std::int32_t>(header, 0, false);
    const bool swapped = size != 348 && size != 540;
    const std::int32_t stored = fieldAt<std::int32_t>(header, 0, swapped);
    const bool version2 = stored == 540;
    if ((stored != 348 && stored != 540) || got < stored)
        return std::nullopt; // not a NIfTI header: the library says so in its own words
    const std::string magic = version2 ? std::string(reinterpret_cast<const char*>(header + 4), 3)
                                       : std::string(reinterpret_cast<const char*>(header + 344), 3);
    const bool onefile = magic == "n+1" || magic == "n+2";
    std::int64_t dims[8];
    for (int i = 0; i < 8; ++i)
        dims[i] = version2 ? fieldAt<std::int64_t>(header, 16 + 8 * i, swapped) : fieldAt<std::int16_t>(header, 40 + 2 * i, swapped);
    if (dims[0] < 1 || dims[0] > 7)
        throw CImportError(source + " has a damaged header (dim[0] = " + std::to_string(dims[0]) + ")");
    for (int axis = 1; axis <= dims[0]; ++axis)
        if (dims[axis] < 1)
            throw CImportError(source + " has a damaged header (dim[" + std::to_string(axis)
                               + "] = " + std::to_string(dims[axis]) + "; every used axis needs at least 1 voxel)");
    const double offset = version2 ? static_cast<double>(fieldAt<std::int64_t>(header, 168, swapped))
                                   : static_cast<double>(fieldAt<float>(header, 108, swapped));
    const double smallest = onefile ? static_cast<double>(stored) + 4.0 : 0.0;
    if (!std::isfinite(offset) || offset < smallest || offset != std::floor(offset)) {
        std::ostringstream message;
        message << source << " has a damaged header (vox_offset = " << offset << "; the voxels of "
                << (onefile ? "a single-file NIfTI start at byte " + std::to_string(stored + 4) + " or later"
                            : std::string("a header and image pair start at a whole byte 0 or later"))
                << ")";
        throw CImportError(message.str());
    }
    std::array<double, 3> spacing;
    for (int axis = 0; axis < 3; ++axis)
        spacing[axis] = version2 ? fieldAt<double>(header, 104 + 8 * (axis + 1), swapped)
                                 : fieldAt<float>(header, 76 + 4 * (axis + 1), swapped);
    return spacing;
}

double toMillimetres(double spacing, int units)
{
    switch (XYZT_TO_SPACE(units)) {
    case NIFTI_UNITS_METER:
        return spacing * 1000.0;
    case NIFTI_UNITS_MICRON:
        return spacing / 1000.0;
    default:
        return spacing;
    }
}

} // namespace

CLoadedVolume CNiftiReader::read(const std::string& path) const
{
    const std::string source = "NIfTI file " + path;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw CImportError(source + " does not exist or is not a file");

    const std::optional<std::array<double, 3>> storedSpacing = checkStoredHeader(path, source);
    // Header only: the library would otherwise allocate whatever the header claims.
    CNiftiImagePtr image(nifti_image_read(path.c_str(), 0));
    if (!image)
        throw CImportError(source + " cannot be read: it is not a NIfTI file or its header is damaged");

    // Axes beyond dim[0] have one voxel, whatever the unused dim[] entries hold (some
    // writers leave them 0).
    const std::int64_t dimensions = image->dim[0];
    if (dimensions < 1 || dimensions > 7)
        throw CImportError(source + " has a damaged header (dim[0] = " + std::to_string(dimensions) + ")");
    auto extent = [&](int axis) { return axis <= dimensions ? image->dim[axis] : std::int64_t(1); };
    const std::size_t voxelCount = CVolumeLimits::checkedVoxelCount(extent(1), extent(2), extent(3), source);

    CLoadedVolume volume;
    volume.xSize = static_cast<int>(extent(1));
    volume.ySize = static_cast<int>(extent(2));
    volume.zSize = static_cast<int>(extent(3));

    bool severalVolumes = false;
    for (int axis = 4; axis <= 7; ++axis)
        if (extent(axis) > 1)
            severalVolumes = true;
    if (severalVolumes)
        volume.warnings.push_back(source + " holds more than one volume; only the first one was loaded");

    double* spacing[3] = {&volume.dx, &volume.dy, &volume.dz};
    bool defaulted = false;
    for (int axis = 0; axis < 3; ++axis) {
        const double stored = storedSpacing ? (*storedSpacing)[axis] : image->pixdim[axis + 1];
        const double value = toMillimetres(std::fabs(stored), image->xyz_units);
        // 0 is a size never set: the default, with a warning. Anything else is checked.
        if (value != 0.0) {
            *spacing[axis] = value;
        } else {
            *spacing[axis] = 1.0;
            defaulted = true;
        }
    }
    if (defaulted)
        volume.warnings.push_back(source + " gives no valid voxel spacing for every axis; 1 mm was assumed there");
    CVolumeLimits::checkSpacing(volume.dx, volume.dy, volume.dz, source);

    CScaling scaling;
    if (image->scl_slope != 0.0 && std::isfinite(image->scl_slope)) {
        scaling.slope = image->scl_slope;
        scaling.intercept = std::isfinite(image->scl_inter) ? image->scl_inter : 0.0;
        scaling.enabled = !(scaling.slope == 1.0 && scaling.intercept == 0.0);
    }

    if (image->iname == nullptr || image->iname_offset < 0)
        throw CImportError(source + " has a damaged header (no valid data location)");
    const std::string dataPath = image->iname;
    const bool compressed = nifti_is_gzfile(dataPath.c_str()) != 0;
    const int storedSize = image->nbyper;
    if (!compressed) {
        const std::uintmax_t fileSize = std::filesystem::file_size(dataPath, error);
        if (error)
            throw CImportError(source + ": its data file " + dataPath + " cannot be read");
        const std::uintmax_t needed = static_cast<std::uintmax_t>(image->iname_offset)
                                      + static_cast<std::uintmax_t>(voxelCount) * static_cast<std::uintmax_t>(std::max(storedSize, 0));
        if (fileSize < needed) {
            std::ostringstream message;
            message << source << " has " << fileSize << " bytes, but its header needs " << needed
                    << "; the file is truncated or damaged";
            throw CImportError(message.str());
        }
    }

    CDataStream file(dataPath, image->iname_offset, source);

    const bool swapBytes = image->byteorder != nifti_short_order();
    CDensityRounder rounder;
    auto readAs = [&](auto tag) {
        using T = decltype(tag);
        if (storedSize != static_cast<int>(sizeof(T)))
            throw CImportError(source + " has a damaged header (bytes per voxel do not match the stored type)");
        readVoxels<T>(file, voxelCount, swapBytes, scaling, rounder, source, volume.voxels);
    };
    switch (image->datatype) {
    case DT_INT8: readAs(std::int8_t{}); break;
    case DT_UINT8: readAs(std::uint8_t{}); break;
    case DT_INT16: readAs(std::int16_t{}); break;
    case DT_UINT16: readAs(std::uint16_t{}); break;
    case DT_INT32: readAs(std::int32_t{}); break;
    case DT_UINT32: readAs(std::uint32_t{}); break;
    case DT_INT64: readAs(std::int64_t{}); break;
    case DT_UINT64: readAs(std::uint64_t{}); break;
    case DT_FLOAT32: readAs(float{}); break;
    case DT_FLOAT64: readAs(double{}); break;
    default:
        throw CImportError(source + " stores values of type " + nifti_datatype_string(image->datatype)
                           + ", which cannot be loaded as densities");
    }
    rounder.addWarnings(source, volume.warnings);
    return volume;
}

} // namespace velmora::import
