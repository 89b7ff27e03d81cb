#pragma once
// What the import tests ask of a load: the error text it raised, and its warnings.

#include "host/import/CImportError.h"
#include "host/import/CLoadedVolume.h"

#include <string>

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

} // namespace velmora::import::test
