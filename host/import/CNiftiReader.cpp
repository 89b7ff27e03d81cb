#include "host/import/CNiftiReader.h"

#include "host/import/CDensityRounder.h"
#include "host/import/CImportError.h"
#include "host/import/CVolumeLimits.h"

#include <nifti2_io.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
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

struct CZnzCloser
{
    void operator()(znzptr* file) const
    {
        znzFile handle = file;
        znzclose(handle);
    }
};
using CZnzPtr = std::unique_ptr<znzptr, CZnzCloser>;

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

// A compressed file's data length is only known by reading it, so the volume grows as the
// data arrive; this is how much is reserved up front.
constexpr std::size_t COMPRESSED_RESERVE_VOXELS = std::size_t(1) << 24;

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
void readVoxels(znzFile file, std::size_t voxelCount, bool swapBytes, bool compressed, const CScaling& scaling,
                CDensityRounder& rounder, const std::string& source, std::vector<std::int16_t>& out)
{
    out.clear();
    out.reserve(compressed ? std::min(voxelCount, COMPRESSED_RESERVE_VOXELS) : voxelCount);
    std::vector<T> chunk(std::min(voxelCount, CHUNK_VOXELS));
    std::size_t done = 0;
    while (done < voxelCount) {
        const std::size_t wanted = std::min(chunk.size(), voxelCount - done);
        const std::size_t got = znzread(chunk.data(), sizeof(T), wanted, file);
        if (got != wanted) {
            std::ostringstream message;
            message << source << " ends after " << (done + got) << " of its " << voxelCount
                    << " voxels; the file is truncated or damaged";
            throw CImportError(message.str());
        }
        if (swapBytes && sizeof(T) > 1)
            nifti_swap_Nbytes(static_cast<int64_t>(got), sizeof(T), chunk.data());
        const std::size_t start = out.size();
        out.resize(start + got);
        std::int16_t* target = out.data() + start;
        for (std::size_t i = 0; i < got; ++i)
            target[i] = convert(chunk[i], scaling, rounder);
        done += got;
    }
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
        const double value = toMillimetres(std::fabs(image->pixdim[axis + 1]), image->xyz_units);
        if (std::isfinite(value) && value > 0.0) {
            *spacing[axis] = value;
        } else {
            *spacing[axis] = 1.0;
            defaulted = true;
        }
    }
    if (defaulted)
        volume.warnings.push_back(source + " gives no valid voxel spacing for every axis; 1 mm was assumed there");

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

    CZnzPtr file(znzopen(dataPath.c_str(), "rb", compressed ? 1 : 0));
    if (!file)
        throw CImportError(source + ": its data file " + dataPath + " cannot be opened");
    if (znzseek(file.get(), static_cast<znz_off_t>(image->iname_offset), SEEK_SET) < 0)
        throw CImportError(source + " is too short to hold its voxel data");

    const bool swapBytes = image->byteorder != nifti_short_order();
    CDensityRounder rounder;
    auto readAs = [&](auto tag) {
        using T = decltype(tag);
        if (storedSize != static_cast<int>(sizeof(T)))
            throw CImportError(source + " has a damaged header (bytes per voxel do not match the stored type)");
        readVoxels<T>(file.get(), voxelCount, swapBytes, compressed, scaling, rounder, source, volume.voxels);
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
