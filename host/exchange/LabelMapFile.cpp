#include "host/exchange/LabelMapFile.h"

#include "host/import/CImportError.h"
#include "host/import/CNiftiFile.h"
#include "toolkit/sys/CReplacingFile.h"

#include <nifti2_io.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <type_traits>

namespace velmora::exchange {

namespace {

static_assert(sizeof(nifti_1_header) == 348, "a NIfTI-1 header has 348 bytes");

// Labels are converted and written or read and checked in chunks of this many.
constexpr std::size_t CHUNK_VOXELS = std::size_t(1) << 18;
// NIfTI-1 keeps sizes in 16 signed bits.
constexpr int MAX_NIFTI1_DIMENSION = 32767;

// Whether `text` ends in `ending` (lower case), whatever the case of its letters.
bool endsWith(const std::string& text, const std::string& ending)
{
    if (text.size() < ending.size())
        return false;
    return std::equal(ending.rbegin(), ending.rend(), text.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// NIfTI-1 header of `map` in this machine's byte order: RAS sform and qform from the LPS
// geometry, labels of 8 or 16 bits, no scaling, the voxels right after the header and its
// four empty extension bytes.
nifti_1_header headerOf(const CLabelMap& map, bool wide, const std::string& what)
{
    nifti_1_header header;
    std::memset(&header, 0, sizeof header);
    header.sizeof_hdr = 348;
    header.dim[0] = 3;
    header.dim[1] = static_cast<short>(map.xSize);
    header.dim[2] = static_cast<short>(map.ySize);
    header.dim[3] = static_cast<short>(map.zSize);
    for (int axis = 4; axis <= 7; ++axis)
        header.dim[axis] = 1;
    header.datatype = wide ? DT_UINT16 : DT_UINT8;
    header.bitpix = wide ? 16 : 8;
    const double spacing[3] = {map.dx, map.dy, map.dz};
    for (int axis = 0; axis < 3; ++axis)
        header.pixdim[axis + 1] = static_cast<float>(spacing[axis]);
    header.vox_offset = 352.0f;
    header.scl_slope = 0.0f;
    header.scl_inter = 0.0f;
    header.xyzt_units = NIFTI_UNITS_MM;

    constexpr double LPS_TO_RAS[3] = {-1.0, -1.0, 1.0};
    nifti_dmat44 matrix;
    std::memset(&matrix, 0, sizeof matrix);
    for (int axis = 0; axis < 3; ++axis) {
        const auto& direction = map.geometry.axes[axis];
        const double length = std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] + direction[2] * direction[2]);
        if (!(length > 0.0))
            throw std::runtime_error(what + ": the direction of its axis " + std::to_string(axis + 1) + " is not set");
        for (int row = 0; row < 3; ++row)
            matrix.m[row][axis] = LPS_TO_RAS[row] * direction[row] / length * spacing[axis];
    }
    for (int row = 0; row < 3; ++row)
        matrix.m[row][3] = LPS_TO_RAS[row] * map.geometry.origin[row];
    matrix.m[3][3] = 1.0;
    float* rows[3] = {header.srow_x, header.srow_y, header.srow_z};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column)
            rows[row][column] = static_cast<float>(matrix.m[row][column]);

    // The qform holds the nearest rotation; a reflection is its third axis reversed (qfac -1).
    double qb, qc, qd, qx, qy, qz, sx, sy, sz, qfac;
    nifti_dmat44_to_quatern(matrix, &qb, &qc, &qd, &qx, &qy, &qz, &sx, &sy, &sz, &qfac);
    header.quatern_b = static_cast<float>(qb);
    header.quatern_c = static_cast<float>(qc);
    header.quatern_d = static_cast<float>(qd);
    header.qoffset_x = static_cast<float>(qx);
    header.qoffset_y = static_cast<float>(qy);
    header.qoffset_z = static_cast<float>(qz);
    header.pixdim[0] = static_cast<float>(qfac < 0.0 ? -1.0 : 1.0);
    header.qform_code = NIFTI_XFORM_SCANNER_ANAT;
    header.sform_code = NIFTI_XFORM_SCANNER_ANAT;
    std::memcpy(header.magic, "n+1\0", 4);
    return header;
}

// Closes the stream on every path; close() reports whether everything reached the file.
class CGzipWriter
{
public:
    CGzipWriter(const std::string& path, bool compressed)
        : m_file(gzopen(path.c_str(), compressed ? "wb6" : "wbT"))
    {
    }
    ~CGzipWriter()
    {
        if (m_file != nullptr)
            gzclose(m_file);
    }
    CGzipWriter(const CGzipWriter&) = delete;
    CGzipWriter& operator=(const CGzipWriter&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    bool write(const void* data, std::size_t bytes)
    {
        const char* from = static_cast<const char*>(data);
        while (bytes > 0) {
            const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes, 1u << 30));
            if (gzwrite(m_file, from, piece) != static_cast<int>(piece))
                return false;
            from += piece;
            bytes -= piece;
        }
        return true;
    }
    bool close()
    {
        const int result = gzclose(m_file);
        m_file = nullptr;
        return result == Z_OK;
    }

private:
    gzFile m_file;
};

template <typename T>
void readLabels(import::CNiftiFile& file, CLabelMap& map)
{
    const std::size_t count = file.header().voxelCount;
    map.labels.clear();
    map.labels.reserve(count);
    constexpr bool DIRECT = std::is_same_v<T, std::uint16_t>;
    std::vector<T> chunk(DIRECT ? 0 : std::min(count, CHUNK_VOXELS));
    std::size_t done = 0;
    while (done < count) {
        const std::size_t wanted = std::min(CHUNK_VOXELS, count - done);
        map.labels.resize(done + wanted);
        std::uint16_t* target = map.labels.data() + done;
        if constexpr (DIRECT) {
            file.readVoxels(target, wanted);
        } else {
            file.readVoxels(chunk.data(), wanted);
            for (std::size_t i = 0; i < wanted; ++i) {
                const T value = chunk[i];
                bool bad = false;
                if constexpr (std::is_signed_v<T>)
                    bad = value < 0;
                if constexpr (sizeof(T) > 2)
                    bad = bad || static_cast<std::int64_t>(value) > 65535;
                if (bad) {
                    const std::size_t index = done + i;
                    const std::size_t row = static_cast<std::size_t>(map.xSize);
                    const std::size_t slice = row * static_cast<std::size_t>(map.ySize);
                    std::ostringstream message;
                    message << file.header().source << " holds the value " << static_cast<std::int64_t>(value)
                            << " at voxel (" << index % row << ", " << index % slice / row << ", " << index / slice
                            << "); a label map holds labels from 0 to 65535";
                    throw import::CImportError(message.str());
                }
                target[i] = static_cast<std::uint16_t>(value);
            }
        }
        done += wanted;
    }
    file.finish();
}

} // namespace

void writeLabelMap(const std::string& path, const CLabelMap& map)
{
    const std::string what = "The label map cannot be saved as " + path;
    const bool compressed = endsWith(path, ".nii.gz");
    if (!compressed && !endsWith(path, ".nii"))
        throw std::runtime_error(what + ": the name of a NIfTI file ends in .nii or .nii.gz");
    const int sizes[3] = {map.xSize, map.ySize, map.zSize};
    for (int size : sizes)
        if (size < 1 || size > MAX_NIFTI1_DIMENSION) {
            std::ostringstream message;
            message << what << ": it is " << map.xSize << " x " << map.ySize << " x " << map.zSize
                    << " voxels, and NIfTI-1 holds 1 to " << MAX_NIFTI1_DIMENSION << " along each axis";
            throw std::runtime_error(message.str());
        }
    const std::size_t count = static_cast<std::size_t>(map.xSize) * static_cast<std::size_t>(map.ySize)
                              * static_cast<std::size_t>(map.zSize);
    if (map.labels.size() != count)
        throw std::runtime_error(what + ": it holds " + std::to_string(map.labels.size()) + " labels for "
                                 + std::to_string(count) + " voxels");
    for (double spacing : {map.dx, map.dy, map.dz})
        if (!std::isfinite(spacing) || !(spacing > 0.0))
            throw std::runtime_error(what + ": its voxel sizes are not positive numbers");
    if (!map.geometry.isFinite())
        throw std::runtime_error(what + ": its position in the patient is not known (not a number)");

    const bool wide = std::any_of(map.labels.begin(), map.labels.end(), [](std::uint16_t label) { return label > 255; });
    const nifti_1_header header = headerOf(map, wide, what);

    kvo::sys::CReplacingFile file(path);
    if (!file.isReady())
        throw std::runtime_error(what + ": its folder does not exist or cannot be written to, or the name is a folder's");
    {
        CGzipWriter out(file.getTemporaryPath(), compressed);
        const char extension[4] = {0, 0, 0, 0};
        bool written = out.isOpen() && out.write(&header, sizeof header) && out.write(extension, sizeof extension);
        if (wide) {
            written = written && out.write(map.labels.data(), count * sizeof(std::uint16_t));
        } else {
            std::vector<std::uint8_t> bytes;
            for (std::size_t done = 0; written && done < count; done += bytes.size()) {
                const std::size_t piece = std::min(CHUNK_VOXELS, count - done);
                bytes.assign(map.labels.begin() + static_cast<std::ptrdiff_t>(done),
                             map.labels.begin() + static_cast<std::ptrdiff_t>(done + piece));
                written = out.write(bytes.data(), bytes.size());
            }
        }
        if (!out.isOpen() || !out.close() || !written)
            throw std::runtime_error(what + ": writing the file failed (is the disk full?)");
    }
    if (!file.commit())
        throw std::runtime_error(what + ": the finished file could not take the place of " + path);
}

CLabelMap readLabelMap(const std::string& path)
{
    import::CNiftiFile file(path);
    const import::CNiftiFile::CHeader& header = file.header();
    if (std::isfinite(header.slope) && header.slope != 0.0 && !(header.slope == 1.0 && header.intercept == 0.0)) {
        std::ostringstream message;
        message << header.source << " scales its values (scl_slope " << header.slope << ", scl_inter "
                << header.intercept << "); a label map stores its labels unscaled";
        throw import::CImportError(message.str());
    }
    CLabelMap map;
    file.describe(map);
    switch (header.datatype) {
    case DT_INT8: readLabels<std::int8_t>(file, map); break;
    case DT_UINT8: readLabels<std::uint8_t>(file, map); break;
    case DT_INT16: readLabels<std::int16_t>(file, map); break;
    case DT_UINT16: readLabels<std::uint16_t>(file, map); break;
    case DT_INT32: readLabels<std::int32_t>(file, map); break;
    case DT_UINT32: readLabels<std::uint32_t>(file, map); break;
    default:
        throw import::CImportError(header.source + " stores values of type " + header.datatypeName
                                   + "; a label map holds whole numbers of 8, 16 or 32 bits");
    }
    return map;
}

} // namespace velmora::exchange
