#pragma once
// Run-length code on bytes (method 1); see CRunLengthCompressor for the packets.

#include "toolkit/mod/CRunLengthCompressor.h"

namespace kvo::mod {

class CRLE8Compressor : public CRunLengthCompressor<1>
{
public:
    explicit CRLE8Compressor(CChannel* channel = nullptr) : CRunLengthCompressor<1>(METHOD_RLE8, channel) {}
};

} // namespace kvo::mod
