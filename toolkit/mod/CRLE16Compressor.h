#pragma once
// Run-length code on little-endian 16-bit values (method 2); see CRunLengthCompressor for
// the packets. Read and write lengths must be even.

#include "toolkit/mod/CRunLengthCompressor.h"

namespace kvo::mod {

class CRLE16Compressor : public CRunLengthCompressor<2>
{
public:
    explicit CRLE16Compressor(CChannel* channel = nullptr) : CRunLengthCompressor<2>(METHOD_RLE16, channel) {}
};

} // namespace kvo::mod
