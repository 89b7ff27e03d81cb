#include "host/import/CNiftiReader.h"

#include "host/import/CDensityRounder.h"
#include "host/import/CImportError.h"
#include "host/import/CNiftiFile.h"
#include "toolkit/sys/MemoryPages.h"
#include "toolkit/sys/Shares.h"

#include <nifti2_io.h>

#include <algorithm>
#include <exception>
#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

namespace velmora::import {

namespace {

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

// Threads that read parts of a plain file at most, and voxels a thread takes at least.
constexpr std::size_t MAX_READERS = 4;
constexpr std::size_t VOXELS_PER_READER = std::size_t(1) << 22;

// 16-bit voxels of an uncompressed file in this machine's byte order, straight into the
// volume: each thread maps the pages of its part of the volume at once and reads its part
// of the file into them, so that both spread over the processors.
void readInParts(const CNiftiFile& file, CVoxelBuffer& out)
{
    const std::size_t voxelCount = file.header().voxelCount;
    out.resize(voxelCount); // left unset: every voxel is read below
    const std::size_t parts = kvo::sys::shareCount(MAX_READERS, voxelCount / VOXELS_PER_READER);
    std::vector<std::exception_ptr> failures(parts);
    kvo::sys::runShares(parts, [&](std::size_t k) {
        const std::size_t first = voxelCount * k / parts, end = voxelCount * (k + 1) / parts;
        try {
            kvo::sys::mapPages(out.data() + first, (end - first) * sizeof(std::int16_t), kvo::sys::CPageUse::WRITE);
            file.readVoxelsAt(out.data() + first, first, end - first);
        } catch (...) {
            failures[k] = std::current_exception();
        }
    });
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

template <typename T>
void readVoxels(CNiftiFile& file, const CScaling& scaling, CDensityRounder& rounder, CVoxelBuffer& out)
{
    const std::size_t voxelCount = file.header().voxelCount;
    // Address space only: memory is taken as the data arrive, so a small compressed file
    // that claims a large volume costs nothing until its voxels exist, and the volume is
    // never copied to grow.
    out.clear();
    out.reserve(voxelCount);
    // Unscaled integers of up to 32 bits: a bulk conversion, or none at all for 16-bit
    // values, which are read straight into the volume.
    constexpr bool BULK = std::is_integral_v<T> && sizeof(T) <= 4;
    const bool bulk = BULK && !scaling.enabled;
    const bool direct = bulk && std::is_same_v<T, std::int16_t>;
    if (direct && file.readsAnywhere()) {
        // (An uncompressed file has no trailer for finish() to check.)
        readInParts(file, out);
        return;
    }
    // Where the data hold every voxel, the volume's pages are mapped at once, which costs a
    // fraction of mapping them one by one as they fill.
    if (file.holdsEveryVoxel())
        kvo::sys::mapPages(out.data(), voxelCount * sizeof(std::int16_t), kvo::sys::CPageUse::WRITE);
    std::vector<T> chunk(direct ? 0 : std::min(voxelCount, CHUNK_VOXELS));
    std::size_t done = 0;
    while (done < voxelCount) {
        const std::size_t wanted = std::min(CHUNK_VOXELS, voxelCount - done);
        const std::size_t start = out.size();
        out.resize(start + wanted);
        std::int16_t* target = out.data() + start;
        T* into = direct ? reinterpret_cast<T*>(target) : chunk.data();
        file.readVoxels(into, wanted);
        done += wanted;
        if constexpr (BULK) {
            if (direct)
                continue;
            if (bulk) {
                rounder.fromIntegers<T>(chunk.data(), wanted, 0, 0, target);
                continue;
            }
        }
        for (std::size_t i = 0; i < wanted; ++i)
            target[i] = convert(chunk[i], scaling, rounder);
    }
    file.finish();
}

} // namespace

CLoadedVolume CNiftiReader::read(const std::string& path) const
{
    CNiftiFile file(path);
    const CNiftiFile::CHeader& header = file.header();
    const std::string& source = header.source;
    CLoadedVolume volume;
    file.describe(volume);

    CScaling scaling;
    if (header.slope != 0.0 && std::isfinite(header.slope)) {
        scaling.slope = header.slope;
        scaling.intercept = std::isfinite(header.intercept) ? header.intercept : 0.0;
        scaling.enabled = !(scaling.slope == 1.0 && scaling.intercept == 0.0);
    }

    CDensityRounder rounder;
    auto readAs = [&](auto tag) { readVoxels<decltype(tag)>(file, scaling, rounder, volume.voxels); };
    switch (header.datatype) {
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
        throw CImportError(source + " stores values of type " + header.datatypeName
                           + ", which cannot be loaded as densities");
    }
    rounder.addWarnings(source, volume.warnings);
    return volume;
}

} // namespace velmora::import
