#include "plugins/parvex/seg/CThresholdFilter.h"
#include "plugins/parvex/seg/SliceThreads.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstring>
#include <thread>
#include <vector>

namespace seg {

namespace {

struct CSliceJob
{
    const CThresholdFilter::tDensityVolume* input;
    CThresholdFilter::tLabelVolume* output;
    std::int16_t lower, higher;
    std::uint16_t inside, outside;
    std::int32_t xSize, ySize;
    // A slice whose rows lie back to back in both volumes (no margins) is one long row.
    bool contiguous;

    // Rows [yBegin, yEnd) of slice z.
    void rows(std::int32_t z, std::int32_t yBegin, std::int32_t yEnd) const
    {
        if (yBegin >= yEnd)
            return;
        if (contiguous)
        {
            CThresholdFilter::thresholdRow(input->getRowPtr(yBegin, z), output->getRowPtr(yBegin, z),
                                           std::int64_t(yEnd - yBegin) * xSize, lower, higher, inside, outside);
            return;
        }
        for (std::int32_t y = yBegin; y < yEnd; ++y)
            CThresholdFilter::thresholdRow(input->getRowPtr(y, z), output->getRowPtr(y, z), xSize, lower, higher,
                                           inside, outside);
    }

    // The share of thread `part` of `parts` in the rows of a slice.
    void share(std::int32_t z, int part, int parts) const
    {
        const std::int64_t begin = std::int64_t(ySize) * part / parts;
        const std::int64_t end = std::int64_t(ySize) * (part + 1) / parts;
        rows(z, static_cast<std::int32_t>(begin), static_cast<std::int32_t>(end));
    }
};

} // namespace

void CThresholdFilter::thresholdRow(const std::int16_t* input, std::uint16_t* output, std::int64_t count,
                                    std::int16_t lower, std::int16_t higher, std::uint16_t inside,
                                    std::uint16_t outside)
{
    // Eight voxels at a time with the compiler's vector types (compares give all-ones or
    // all-zero lanes, which select the label without a branch); the rest one by one.
    using tLanes = std::int16_t __attribute__((vector_size(16)));
    constexpr std::int64_t LANES = 8;
    const tLanes lowerLanes = tLanes{} + lower;
    const tLanes higherLanes = tLanes{} + higher;
    const tLanes insideLanes = tLanes{} + static_cast<std::int16_t>(inside);
    const tLanes outsideLanes = tLanes{} + static_cast<std::int16_t>(outside);
    std::int64_t x = 0;
    for (; x + LANES <= count; x += LANES)
    {
        tLanes values;
        std::memcpy(&values, input + x, sizeof values);
        const tLanes mask = (values >= lowerLanes) & (values < higherLanes);
        const tLanes labels = (insideLanes & mask) | (outsideLanes & ~mask);
        std::memcpy(output + x, &labels, sizeof labels);
    }
    for (; x < count; ++x)
    {
        const std::int16_t value = input[x];
        output[x] = value >= lower && value < higher ? inside : outside;
    }
}

bool CThresholdFilter::run()
{
    if (!m_input || !m_output)
        return false;
    const tDensityVolume& input = *m_input;
    tLabelVolume& output = *m_output;
    if (input.getXSize() > output.getXSize() || input.getYSize() > output.getYSize() ||
        input.getZSize() > output.getZSize())
        return false;

    const std::int32_t zSize = input.getZSize();
    beginProgress(zSize);

    CSliceJob job{&input,
                  &output,
                  m_lower,
                  m_higher,
                  m_insideLabel,
                  m_outsideLabel,
                  input.getXSize(),
                  input.getYSize(),
                  input.getMargin() == 0 && output.getMargin() == 0 && input.getXSize() == output.getXSize()};

    const int threads = effectiveThreads(m_threads, std::int64_t(job.xSize) * job.ySize, job.ySize);
    // The filter lets go of the caller's callback however the run ends.
    struct CRestoreCallback
    {
        CThresholdFilter& filter;
        ~CRestoreCallback() { filter.restoreDefaultCallback(); }
    } restoreCallback{*this};

    bool completed = true;
    if (threads == 1)
    {
        for (std::int32_t z = 0; z < zSize && completed; ++z)
        {
            job.rows(z, 0, job.ySize);
            completed = progress();
        }
        return completed;
    }

    // Workers wait at the barrier for the next slice; the calling thread does its own
    // share, waits for the others at the barrier and only then reports progress, so the
    // callback and a cancel always come after a whole slice.
    std::atomic<std::int32_t> slice{0};
    std::atomic<bool> stop{false};
    std::barrier<> sync(threads);
    std::vector<std::jthread> workers;
    // Releases the workers however the loop ends (a callback may throw).
    struct CStopWorkers
    {
        std::atomic<bool>& stop;
        std::barrier<>& sync;
        std::vector<std::jthread>& workers;
        ~CStopWorkers()
        {
            stop.store(true, std::memory_order_release);
            sync.arrive_and_wait();
            workers.clear(); // joins
        }
    } stopWorkers{stop, sync, workers};
    int parts = threads;
    try
    {
        workers.reserve(threads - 1);
        for (int part = 1; part < threads; ++part)
        {
            workers.emplace_back([&, part] {
                for (;;)
                {
                    sync.arrive_and_wait(); // a slice is ready, or stop
                    if (stop.load(std::memory_order_acquire))
                        return;
                    job.share(slice.load(std::memory_order_acquire), part, parts);
                    sync.arrive_and_wait(); // slice done
                }
            });
        }
    }
    catch (...)
    {
        // No more threads (or memory for them) to be had: the missing workers leave the
        // barrier and their rows fall to the others; otherwise the barrier would wait for
        // them for ever.
        parts = static_cast<int>(workers.size()) + 1;
        for (int missing = parts; missing < threads; ++missing)
            sync.arrive_and_drop();
    }
    for (std::int32_t z = 0; z < zSize && completed; ++z)
    {
        slice.store(z, std::memory_order_release);
        sync.arrive_and_wait();
        job.share(z, 0, parts);
        sync.arrive_and_wait();
        completed = progress();
    }
    return completed;
}

} // namespace seg
