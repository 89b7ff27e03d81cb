#pragma once
// The one failure of every import source. what() is a complete English sentence meant for
// the user ("No DICOM images found in /data/scan"); a source that throws it has allocated
// nothing that outlives the call, so the host simply keeps its current data set.

#include <stdexcept>
#include <string>

namespace velmora::import {

class CImportError : public std::runtime_error
{
public:
    explicit CImportError(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

} // namespace velmora::import
