// Fuzz targets of the host's importers, through the entry points the host uses. The input
// becomes a file in a scratch folder and is loaded; an import error is the expected answer
// to a bad file, anything else (a crash, a sanitizer report, another exception, a volume
// that breaks the importer's promises) is a fault.
//
//   fuzz_nifti:   the input is a .nii file, or a .nii.gz file when it starts with the gzip
//                 magic bytes, read as a scan and as a label map; and the same bytes as a
//                 label description file.
//   fuzz_dicom:   the input is the one file of a folder (the library runs in the child
//                 process, so its own aborts are answers too, and only ours count).
//   fuzz_sources: the input's first line is a --data source whose FILE is replaced by the
//                 scratch file, which holds the rest of the input (raw volumes, phantoms).
//
// Every volume is capped at 64 MiB by the process's memory limit, so a header that claims
// a huge volume is refused the way a user's limit would refuse it.

#include "host/DataSources.h"
#include "host/exchange/LabelDescriptionFile.h"
#include "host/exchange/LabelMapFile.h"
#include "host/import/CDicomSeriesReader.h"
#include "host/import/CImportError.h"
#include "host/import/CNiftiReader.h"
#include "host/import/CVolumeLimits.h"
#include "toolkit/sys/MemoryLimit.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

using velmora::import::CImportError;
using velmora::import::CLoadedVolume;
using velmora::import::CVolumeLimits;

const std::filesystem::path& scratch()
{
    static const std::filesystem::path folder = [] {
        kvo::sys::setMemoryLimit(64u << 20);
        std::filesystem::path path = std::filesystem::temp_directory_path() / ("velmora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

void check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz importer: %s\n", what);
    std::abort();
}

std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path folder = scratch() / "in";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return path;
}

// What every importer promises of a volume it returns.
void checkVolume(const CLoadedVolume& volume)
{
    check(volume.xSize >= 1 && volume.ySize >= 1 && volume.zSize >= 1, "a loaded volume has an empty axis");
    check(volume.voxels.size() == volume.voxelCount(), "the voxel count does not match the size");
    for (double d : {volume.dx, volume.dy, volume.dz})
        check(std::isfinite(d) && d >= CVolumeLimits::MIN_SPACING_MM && d <= CVolumeLimits::MAX_SPACING_MM,
              "a loaded volume has a voxel size out of range");
}

template <typename TLoad>
int loadChecked(TLoad load)
{
    try {
        checkVolume(load());
    } catch (const CImportError&) {
    } catch (const kvo::sys::CMemoryLimitExceeded&) {
    } catch (const std::runtime_error& error) {
        // The sources' own notation errors are runtime errors with a message for the user.
        check(*error.what() != '\0', "an error without a message");
    }
    return 0;
}

} // namespace

#if defined(FUZZ_NIFTI)
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bool packed = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    const std::string path = writeInput(packed ? "input.nii.gz" : "input.nii", data, size);
    loadChecked([&] { return velmora::import::CNiftiReader().read(path); });
    try {
        const velmora::exchange::CLabelMap map = velmora::exchange::readLabelMap(path);
        check(map.labels.size() == std::size_t(map.xSize) * std::size_t(map.ySize) * std::size_t(map.zSize),
              "the label count does not match the size");
        check(map.geometry.isFinite(), "a label map placed at a position that is not a number");
    } catch (const CImportError&) {
    } catch (const kvo::sys::CMemoryLimitExceeded&) {
    }
    const std::string text = writeInput("input.txt", data, size);
    try {
        for (const velmora::exchange::CLabelDescription& label : velmora::exchange::readLabelDescriptions(text))
            check(label.index >= 0 && label.index <= 65535, "a label index out of range");
    } catch (const std::runtime_error& error) {
        check(*error.what() != '\0', "an error without a message");
    }
    return 0;
}
#elif defined(FUZZ_DICOM)
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = writeInput("input.dcm", data, size);
    return loadChecked([&] { return velmora::import::CDicomSeriesReader().read(std::filesystem::path(path).parent_path().string()); });
}
#elif defined(FUZZ_SOURCES)
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t end = text.find('\n');
    if (end == std::string::npos)
        return 0;
    std::string source = text.substr(0, end);
    const std::string path = writeInput("input.raw", data + end + 1, size - end - 1);
    // Only the scratch file may be read: FILE is replaced whatever the line names.
    for (const char* kind : {"raw:", "nifti:", "dicom:"}) {
        const std::string prefix = kind;
        if (source.rfind(prefix, 0) == 0) {
            const std::size_t next = source.find(':', prefix.size());
            const std::string target = prefix == "dicom:" ? std::filesystem::path(path).parent_path().string() : path;
            source = prefix + target + (next == std::string::npos ? "" : source.substr(next));
        }
    }
    if (source.rfind("phantom", 0) != 0 && source.rfind("raw:", 0) != 0 && source.rfind("nifti:", 0) != 0
        && source.rfind("dicom:", 0) != 0)
        return 0;
    return loadChecked([&] { return velmora::loadSource(source); });
}
#else
#error "define FUZZ_NIFTI, FUZZ_DICOM or FUZZ_SOURCES"
#endif
