#pragma once
// The density compressor (method 8), for 16-bit density volumes: a chain of a
// CDensityPredictor, an embedded CRLE8Compressor and the wrapped channel. Reads and writes
// go through the predictor, so their lengths must be even, and data must be read back with
// the call lengths they were written with (see CDensityPredictor).

#include "toolkit/mod/CChannelCompressor.h"
#include "toolkit/mod/CDensityPredictor.h"
#include "toolkit/mod/CRLE8Compressor.h"

namespace kvo::mod {

class CDensityCompressor : public CChannelCompressor
{
public:
    explicit CDensityCompressor(CChannel* channel = nullptr);

    //! Hands the channel to the run-length stage and takes its flags and type code.
    void setChannel(CChannel* channel) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    bool write(const char* data, std::int32_t length) override;
    //! Flushes the chain down to the wrapped channel (false without one).
    bool flush() override;

private:
    CRLE8Compressor m_runLength;      // declared first: the predictor refers to it
    CDensityPredictor m_predictor;
};

} // namespace kvo::mod
