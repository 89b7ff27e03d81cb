#pragma once
// Data sources as the command line and scripts name them.

#include "host/import/CLoadedVolume.h"

#include <string>
#include <vector>

namespace velmora {

//! Loads from script words: {"phantom" [X Y Z]}, {"dicom" DIR}, {"nifti" FILE},
//! {"raw" FILE X Y Z [DX DY DZ]}. Throws std::runtime_error with a user-facing message.
import::CLoadedVolume loadSource(const std::vector<std::string>& words);

//! Loads from a command-line SOURCE: phantom[:XxYxZ], dicom:DIR, nifti:FILE,
//! raw:FILE:XxYxZ[:DX,DY,DZ].
import::CLoadedVolume loadSource(const std::string& source);

} // namespace velmora
