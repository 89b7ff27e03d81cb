#include "host/import/CNiftiFile.h"

#include "host/import/CImportError.h"
#include "host/import/CVolumeLimits.h"

#include <nifti2_io.h>

#include "toolkit/sys/MemoryLimit.h"
#include "toolkit/sys/MemoryPages.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace velmora::import {

namespace {

// A gzip file whose data come to at most this much is read and inflated whole by
// libdeflate, about twice as fast as zlib's stream (never more than a quarter of the memory
// limit: the inflated data are copied into the volume after).
constexpr std::uint64_t MOST_INFLATED_WHOLE = std::uint64_t(256) << 20;

} // namespace

// The voxel data: a gzip file whose data are just the first volume, inflated whole at once;
// any other file through zlib, which reads plain files as they are. A gzip stream is read to
// its end either way, so that its length and check are verified, not only the part we need.
class CNiftiFile::CDataStream
{
public:
    //! `needed`: the bytes of the data file up to the end of the first volume.
    CDataStream(const std::string& path, std::int64_t offset, std::uint64_t needed, bool compressed,
                const std::string& source)
        : m_source(source)
    {
        if (compressed && inflateWhole(path, needed)) {
            m_position = static_cast<std::uint64_t>(offset);
            return;
        }
        m_file = gzopen(path.c_str(), "rb");
        if (m_file == nullptr)
            throw CImportError(source + ": its data file " + path + " cannot be opened");
        gzbuffer(m_file, 1 << 18);
        if (gzseek(m_file, static_cast<z_off_t>(offset), SEEK_SET) != static_cast<z_off_t>(offset)) {
            gzclose(m_file);
            throw CImportError(source + " is too short to hold its voxel data; the file is truncated or damaged");
        }
    }
    ~CDataStream()
    {
        if (m_file != nullptr)
            gzclose(m_file);
    }
    CDataStream(const CDataStream&) = delete;
    CDataStream& operator=(const CDataStream&) = delete;

    //! Whether every voxel of the first volume is in memory already.
    bool isInflated() const { return m_inflated != nullptr; }

    //! Reads up to `bytes` bytes; fewer only at the end of the data. Throws when the stream
    //! is damaged.
    std::size_t read(void* data, std::size_t bytes)
    {
        if (m_inflated) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, m_inflatedSize - m_position));
            std::memcpy(data, m_inflated.get() + m_position, piece);
            m_position += piece;
            return piece;
        }
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

    void finish()
    {
        if (m_inflated)
            return; // inflated to the end, its length and check verified
        std::vector<char> rest(1 << 16);
        while (read(rest.data(), rest.size()) == rest.size()) {
        }
        int error = Z_OK;
        gzerror(m_file, &error);
        if (error != Z_OK)
            fail();
    }

private:
    // Reads the file and inflates it in one call, where it is a single gzip member whose data
    // are exactly the `needed` bytes. False, with nothing kept, for anything else (several
    // members or volumes, damage, a file too large): zlib then reads it as a stream and
    // reports what is wrong in its own words.
    bool inflateWhole(const std::string& path, std::uint64_t needed)
    {
        if (needed == 0 || needed > std::min(MOST_INFLATED_WHOLE, kvo::sys::getMemoryLimit() / 4))
            return false;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        std::unique_ptr<unsigned char[]> packed;
        std::uint64_t size = 0;
        bool whole = false;
        struct stat status;
        // (A gzip member is never much larger than its data, even of data that do not compress.)
        if (::fstat(fd, &status) == 0 && status.st_size >= 18
            && static_cast<std::uint64_t>(status.st_size) <= needed + needed / 8 + (1 << 16)) {
            size = static_cast<std::uint64_t>(status.st_size);
            packed.reset(new (std::nothrow) unsigned char[size]);
            // (Both buffers are written whole: their pages are mapped in one go.)
            if (packed)
                kvo::sys::mapPages(packed.get(), size, kvo::sys::CPageUse::WRITE);
            std::uint64_t done = 0;
            while (packed && done < size) {
                const ssize_t got = ::pread(fd, packed.get() + done, size - done, static_cast<off_t>(done));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    break;
                done += static_cast<std::uint64_t>(got);
            }
            whole = packed && done == size;
        }
        ::close(fd);
        // The trailer's length (modulo 2^32) says at once whether the data are the volume's.
        if (!whole || (packed[size - 4] | packed[size - 3] << 8 | packed[size - 2] << 16
                       | std::uint32_t(packed[size - 1]) << 24) != static_cast<std::uint32_t>(needed))
            return false;
        std::unique_ptr<unsigned char[]> inflated(new (std::nothrow) unsigned char[needed]);
        libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
        if (!inflated || decompressor == nullptr) {
            libdeflate_free_decompressor(decompressor);
            return false;
        }
        kvo::sys::mapPages(inflated.get(), needed, kvo::sys::CPageUse::WRITE);
        std::size_t packedUsed = 0, inflatedSize = 0;
        const libdeflate_result result = libdeflate_gzip_decompress_ex(
            decompressor, packed.get(), size, inflated.get(), needed, &packedUsed, &inflatedSize);
        libdeflate_free_decompressor(decompressor);
        if (result != LIBDEFLATE_SUCCESS || packedUsed != size || inflatedSize != needed)
            return false;
        m_inflated = std::move(inflated);
        m_inflatedSize = needed;
        return true;
    }

    [[noreturn]] void fail()
    {
        int error = Z_OK;
        const char* text = gzerror(m_file, &error);
        throw CImportError(m_source + " is damaged: its compressed data cannot be read ("
                           + (text && *text ? std::string(text) : "zlib error " + std::to_string(error)) + ")");
    }

    gzFile m_file = nullptr;
    std::unique_ptr<unsigned char[]> m_inflated;
    std::uint64_t m_inflatedSize = 0;
    std::uint64_t m_position = 0;
    std::string m_source;
};

namespace {

struct CNiftiImageDeleter
{
    void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using CNiftiImagePtr = std::unique_ptr<nifti_image, CNiftiImageDeleter>;

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

double millimetresPerUnit(int units)
{
    switch (XYZT_TO_SPACE(units)) {
    case NIFTI_UNITS_METER:
        return 1000.0;
    case NIFTI_UNITS_MICRON:
        return 1e-3;
    default:
        return 1.0;
    }
}

// A voxel-to-patient matrix in NIfTI's RAS millimetres: column i is the step of voxel
// index i, column 3 the centre of voxel (0, 0, 0).
using CAffine = std::array<std::array<double, 4>, 3>;

CAffine affineOf(const nifti_dmat44& matrix, double scale)
{
    CAffine affine;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            affine[row][column] = matrix.m[row][column] * scale;
    return affine;
}

double columnLength(const CAffine& affine, int column)
{
    return std::sqrt(affine[0][column] * affine[0][column] + affine[1][column] * affine[1][column]
                     + affine[2][column] * affine[2][column]);
}

// Why the matrix cannot place the volume; empty when it can.
std::string flawOf(const CAffine& affine)
{
    for (const auto& row : affine)
        for (double value : row)
            if (!std::isfinite(value))
                return "it holds values that are not numbers";
    std::array<std::array<double, 3>, 3> unit;
    for (int column = 0; column < 3; ++column) {
        const double length = columnLength(affine, column);
        if (!(length > 0.0) || !std::isfinite(length))
            return "its axis " + std::to_string(column + 1) + " has length 0";
        for (int row = 0; row < 3; ++row)
            unit[column][row] = affine[row][column] / length;
    }
    const double determinant = unit[0][0] * (unit[1][1] * unit[2][2] - unit[1][2] * unit[2][1])
                               - unit[1][0] * (unit[0][1] * unit[2][2] - unit[0][2] * unit[2][1])
                               + unit[2][0] * (unit[0][1] * unit[1][2] - unit[0][2] * unit[1][1]);
    if (std::fabs(determinant) < 1e-6)
        return "its axes do not span space";
    return {};
}

// The patient geometry of a usable matrix: RAS becomes LPS, the columns unit vectors.
CPatientGeometry geometryOf(const CAffine& affine)
{
    constexpr double RAS_TO_LPS[3] = {-1.0, -1.0, 1.0};
    CPatientGeometry geometry;
    for (int column = 0; column < 3; ++column) {
        const double length = columnLength(affine, column);
        for (int row = 0; row < 3; ++row)
            geometry.axes[column][row] = RAS_TO_LPS[row] * affine[row][column] / length;
    }
    for (int row = 0; row < 3; ++row)
        geometry.origin[row] = RAS_TO_LPS[row] * affine[row][3];
    return geometry;
}

std::string sizesText(double x, double y, double z)
{
    std::ostringstream text;
    text << x << " x " << y << " x " << z << " mm";
    return text.str();
}

} // namespace

CNiftiFile::CNiftiFile(const std::string& path)
{
    CHeader& header = m_header;
    const std::string source = "NIfTI file " + path;
    header.source = source;
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
    header.voxelCount = CVolumeLimits::checkedVoxelCount(extent(1), extent(2), extent(3), source);
    header.xSize = static_cast<int>(extent(1));
    header.ySize = static_cast<int>(extent(2));
    header.zSize = static_cast<int>(extent(3));

    bool severalVolumes = false;
    for (int axis = 4; axis <= 7; ++axis)
        if (extent(axis) > 1)
            severalVolumes = true;
    if (severalVolumes)
        header.warnings.push_back(source + " holds more than one volume; only the first one was loaded");

    const double unit = millimetresPerUnit(image->xyz_units);
    std::array<double, 3> pixdim;
    for (int axis = 0; axis < 3; ++axis)
        pixdim[axis] = std::fabs(storedSpacing ? (*storedSpacing)[axis] : image->pixdim[axis + 1]) * unit;
    double* spacing[3] = {&header.dx, &header.dy, &header.dz};
    // The voxel sizes of pixdim, where neither sform nor qform gives them: 0 is a size never
    // set, the default with a warning; anything else is checked below.
    auto takePixdim = [&] {
        bool defaulted = false;
        for (int axis = 0; axis < 3; ++axis) {
            *spacing[axis] = pixdim[axis] != 0.0 ? pixdim[axis] : 1.0;
            defaulted = defaulted || pixdim[axis] == 0.0;
        }
        if (defaulted)
            header.warnings.push_back(source + " gives no valid voxel spacing for every axis; 1 mm was assumed there");
    };

    bool placed = false;
    const bool hasQform = image->qform_code > 0;
    auto passOver = [&](const std::string& matrix, const std::string& flaw, bool qformNext) {
        header.warnings.push_back(source + "'s " + matrix + " cannot place the volume (" + flaw + "); "
                                  + (qformNext ? "its qform was used instead" : "the volume was placed by its voxel sizes alone"));
    };
    if (image->sform_code > 0) {
        const CAffine affine = affineOf(image->sto_xyz, unit);
        const std::string flaw = flawOf(affine);
        if (flaw.empty()) {
            header.geometry = geometryOf(affine);
            bool differs = false;
            for (int axis = 0; axis < 3; ++axis) {
                *spacing[axis] = columnLength(affine, axis);
                differs = differs || !(std::fabs(pixdim[axis] - *spacing[axis]) <= 1e-3 * *spacing[axis]);
            }
            if (differs)
                header.warnings.push_back(source + " gives voxel sizes of " + sizesText(pixdim[0], pixdim[1], pixdim[2])
                                          + " in pixdim but " + sizesText(header.dx, header.dy, header.dz)
                                          + " in its sform; the sform's sizes were used");
            placed = true;
        } else {
            passOver("sform", flaw, hasQform);
        }
    }
    if (!placed && hasQform) {
        // The rotation alone (unit voxel sizes); the sizes come from pixdim, as the qform
        // defines them.
        const nifti_dmat44 rotation = nifti_quatern_to_dmat44(image->quatern_b, image->quatern_c, image->quatern_d, 0.0,
                                                              0.0, 0.0, 1.0, 1.0, 1.0, image->qfac < 0.0 ? -1.0 : 1.0);
        CAffine affine = affineOf(rotation, 1.0);
        const double offset[3] = {image->qoffset_x, image->qoffset_y, image->qoffset_z};
        for (int row = 0; row < 3; ++row)
            affine[row][3] = offset[row] * unit;
        const bool finiteQuaternion
            = std::isfinite(image->quatern_b) && std::isfinite(image->quatern_c) && std::isfinite(image->quatern_d);
        const std::string flaw = finiteQuaternion ? flawOf(affine) : std::string("it holds values that are not numbers");
        if (flaw.empty()) {
            header.geometry = geometryOf(affine);
            takePixdim();
            placed = true;
        } else {
            passOver("qform", flaw, false);
        }
    }
    if (!placed) {
        // NIfTI's default grid: voxel index i along RAS x, y, z from the origin.
        header.geometry.axes = {{{-1.0, 0.0, 0.0}, {0.0, -1.0, 0.0}, {0.0, 0.0, 1.0}}};
        takePixdim();
    }
    CVolumeLimits::checkSpacing(header.dx, header.dy, header.dz, source);

    header.datatype = image->datatype;
    header.datatypeName = nifti_datatype_string(image->datatype);
    header.slope = image->scl_slope;
    header.intercept = image->scl_inter;

    if (image->iname == nullptr || image->iname_offset < 0)
        throw CImportError(source + " has a damaged header (no valid data location)");
    const std::string dataPath = image->iname;
    const bool compressed = nifti_is_gzfile(dataPath.c_str()) != 0;
    m_bytesPerVoxel = image->nbyper;
    header.compressed = compressed;
    // The bytes of the data file up to the end of the first volume.
    const std::uint64_t needed = static_cast<std::uint64_t>(image->iname_offset)
                                 + static_cast<std::uint64_t>(header.voxelCount)
                                       * static_cast<std::uint64_t>(std::max(m_bytesPerVoxel, 0));
    if (!compressed) {
        const std::uintmax_t fileSize = std::filesystem::file_size(dataPath, error);
        if (error)
            throw CImportError(source + ": its data file " + dataPath + " cannot be read");
        if (fileSize < needed) {
            std::ostringstream message;
            message << source << " has " << fileSize << " bytes, but its header needs " << needed
                    << "; the file is truncated or damaged";
            throw CImportError(message.str());
        }
    }
    m_swapBytes = image->byteorder != nifti_short_order();
    m_dataPath = dataPath;
    m_dataOffset = static_cast<std::uint64_t>(image->iname_offset);
    m_data = std::make_unique<CDataStream>(dataPath, image->iname_offset, needed, compressed, source);
}

CNiftiFile::~CNiftiFile() = default;

void CNiftiFile::readStored(void* into, std::size_t count, std::size_t storedSize)
{
    if (static_cast<std::size_t>(m_bytesPerVoxel) != storedSize)
        throw CImportError(m_header.source + " has a damaged header (bytes per voxel do not match the stored type)");
    const std::size_t got = m_data->read(into, count * storedSize) / storedSize;
    if (got != count) {
        std::ostringstream message;
        message << m_header.source << " ends after " << (m_voxelsRead + got) << " of its " << m_header.voxelCount
                << " voxels; the file is truncated or damaged";
        throw CImportError(message.str());
    }
    m_voxelsRead += got;
    if (m_swapBytes && storedSize > 1)
        nifti_swap_Nbytes(static_cast<int64_t>(got), static_cast<int>(storedSize), into);
}

void CNiftiFile::readStoredAt(void* into, std::size_t first, std::size_t count, std::size_t storedSize) const
{
    if (static_cast<std::size_t>(m_bytesPerVoxel) != storedSize)
        throw CImportError(m_header.source + " has a damaged header (bytes per voxel do not match the stored type)");
    if (!readsAnywhere() || first > m_header.voxelCount || count > m_header.voxelCount - first)
        throw std::logic_error("CNiftiFile::readVoxelsAt: not a plain file, or voxels beyond the volume");
    const int fd = ::open(m_dataPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw CImportError(m_header.source + ": its data file " + m_dataPath + " cannot be opened");
    const std::size_t bytes = count * storedSize;
    const std::uint64_t offset = m_dataOffset + std::uint64_t(first) * storedSize;
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = ::pread(fd, static_cast<char*>(into) + done, bytes - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (done < bytes) {
        std::ostringstream message;
        message << m_header.source << " ends after " << (first + done / storedSize) << " of its " << m_header.voxelCount
                << " voxels; the file is truncated or damaged";
        throw CImportError(message.str());
    }
}

bool CNiftiFile::holdsEveryVoxel() const
{
    return !m_header.compressed || m_data->isInflated();
}

void CNiftiFile::finish()
{
    m_data->finish();
}

} // namespace velmora::import
