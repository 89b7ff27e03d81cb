#pragma once
// Thresholding of a density volume into a label volume.
//
// Every voxel of the input with lower <= density < higher (raw signed 16-bit values, no
// scaling) gets the inside label in the output, every other voxel the outside label. The
// block [0, X) x [0, Y) x [0, Z) of the input's sizes is written; output voxels beyond it
// and the margins of both volumes are left alone. lower >= higher labels the whole block
// with the outside label.
//
// run() returns false, writing nothing, when the input or the output is missing or the
// input is larger than the output along any axis. Otherwise it works slice by slice (z),
// advancing the progress counter (total: Z) and calling the progress callback on the
// calling thread after each slice; a false answer stops it at once with the slices done so
// far written, and run() returns false. On every return after the size check the default
// callback is put back, so the filter keeps no reference to the caller's progress window.
//
// Within a slice the rows may be split across worker threads; the result does not depend
// on the number of threads.

#include "toolkit/img/CVolume.h"
#include "toolkit/mod/CProgress.h"

#include <cstdint>

namespace seg {

class CThresholdFilter : public kvo::mod::CProgress
{
public:
    using tDensityVolume = kvo::img::CVolume<std::int16_t>;
    using tLabelVolume = kvo::img::CVolume<std::uint16_t>;

    CThresholdFilter() = default;

    //! The density volume to read (not owned; null: run() refuses).
    void setInput(const tDensityVolume* input) { m_input = input; }
    //! The label volume to write (not owned; null: run() refuses).
    void setOutput(tLabelVolume* output) { m_output = output; }
    //! Labels written inside and outside [lower, higher); defaults 1 and 0.
    void setLabels(std::uint16_t inside, std::uint16_t outside)
    {
        m_insideLabel = inside;
        m_outsideLabel = outside;
    }
    //! Inclusive lower and exclusive higher bound; defaults 0 and 0 (nothing inside).
    void setBounds(std::int16_t lower, std::int16_t higher)
    {
        m_lower = lower;
        m_higher = higher;
    }
    //! Threads that share the rows of each slice: 1 (the default) runs everything on the
    //! calling thread, 0 takes one per hardware thread (at most 8). One thread already
    //! keeps up with memory; more help only on an idle machine with several memory
    //! channels, and on a busy one each slice waits for the slowest of them.
    void setThreadCount(int threads) { m_threads = threads; }

    //! Thresholds the input into the output; see above for what false means.
    bool run();

    //! Thresholds one row of `count` voxels; the plain kernel that run() applies.
    static void thresholdRow(const std::int16_t* input, std::uint16_t* output, std::int64_t count,
                             std::int16_t lower, std::int16_t higher, std::uint16_t inside, std::uint16_t outside);

private:
    const tDensityVolume* m_input = nullptr;
    tLabelVolume* m_output = nullptr;
    std::uint16_t m_insideLabel = 1;
    std::uint16_t m_outsideLabel = 0;
    std::int16_t m_lower = 0;
    std::int16_t m_higher = 0;
    int m_threads = 1;
};

} // namespace seg
