#pragma once
// What the import tests ask of a load: the error text it raised, and its warnings.

#include "host/import/CImportError.h"
#include "host/import/CLoadedVolume.h"

#include <string>
#include <vector>

namespace velmora::import::test {

//! The CImportError text of reader.read(source), or "no error".
template <class TReader>
std::string errorOf(const TReader& reader, const std::string& source)
{
    try {
        reader.read(source);
    } catch (const CImportError& error) {
        return error.what();
    }
    return "no error";
}

//! Whether one of the load's warnings contains `fragment`.
inline bool hasWarning(const CLoadedVolume& volume, const std::string& fragment)
{
    for (const std::string& warning : volume.warnings)
        if (warning.find(fragment) != std::string::npos)
            return true;
    return false;
}

// A loaded volume's voxels as a plain vector, to compare with expected values.
inline std::vector<std::int16_t> voxelsOf(const CLoadedVolume& volume)
{
    return {volume.voxels.begin(), volume.voxels.end()};
}

} // namespace velmora::import::test
