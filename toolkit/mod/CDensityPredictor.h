#pragma once
// Delta prediction on 16-bit samples for density volumes, in byte planes.
//
// Each call stands alone. Writing n = length / 2 signed 16-bit samples s[0..n-1] (native
// order, as they lie in memory) computes d[i] = s[i] - s[i-1] + OFFSET modulo 65536, with
// s[-1] = 0, and writes one buffer of 2n bytes to the wrapped channel in one call: the high
// bytes of all d[i] first, then the low bytes. Reading takes exactly length bytes from the
// wrapped channel and sums the deltas back. Since the prediction restarts at every call,
// data must be read with the call lengths they were written with.
//
// Lengths must be even: an odd or negative length reads 0 / writes false. A read that gets
// fewer than length bytes from the wrapped channel returns 0. The byte buffer grows to the
// largest call's length and is kept.

#include "toolkit/mod/CPredictorChannel.h"

#include <vector>

namespace kvo::mod {

class CDensityPredictor : public CPredictorChannel
{
public:
    static constexpr std::int32_t OFFSET = 8500;

    explicit CDensityPredictor(CChannel* channel = nullptr) : CPredictorChannel(channel) {}

    std::int32_t read(char* buffer, std::int32_t length) override;
    bool write(const char* data, std::int32_t length) override;

private:
    std::vector<unsigned char> m_planes;
};

} // namespace kvo::mod
