// Thresholding a 512 x 512 x 400 CT-sized volume, beside a plain memcpy of the same bytes in
// the same run. Bandwidth is counted as input plus output bytes per second for both.
//
//   bench_parvex [--benchmark_filter=...]
//
// threshold/threads:1 is the filter as the panel runs it (the calling thread only);
// threads:2 and threads:0 (one per hardware thread) share the rows of each slice.

#include "plugins/parvex/seg/CThresholdFilter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>

namespace {

constexpr int X = 512, Y = 512, Z = 400;

using tDensity = seg::CThresholdFilter::tDensityVolume;
using tLabels = seg::CThresholdFilter::tLabelVolume;

// Air, soft tissue and bone in runs, as in a CT scan, plus noise.
const tDensity& densities()
{
    static const tDensity volume = [] {
        tDensity v(X, Y, Z);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 40.0);
        for (int z = 0; z < Z; ++z)
            for (int y = 0; y < Y; ++y)
            {
                std::int16_t* row = v.getRowPtr(y, z);
                for (int x = 0; x < X; ++x)
                {
                    const int dx = x - X / 2, dy = y - Y / 2;
                    const int r2 = dx * dx + dy * dy;
                    const double base = r2 > 200 * 200 ? -1000 : r2 < 40 * 40 ? 1200 : 40;
                    row[x] = static_cast<std::int16_t>(base + noise(random));
                }
            }
        return v;
    }();
    return volume;
}

const std::int64_t BYTES = std::int64_t(X) * Y * Z * 2;

void memcpyBaseline(benchmark::State& state)
{
    const tDensity& input = densities();
    tLabels output(X, Y, Z);
    output.fill(0);
    for (auto _ : state)
    {
        std::memcpy(output.getPtr(), input.getPtr(), static_cast<std::size_t>(BYTES));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * BYTES);
}

void threshold(benchmark::State& state)
{
    const tDensity& input = densities();
    tLabels output(X, Y, Z);
    output.fill(0);
    seg::CThresholdFilter filter;
    filter.setInput(&input);
    filter.setOutput(&output);
    filter.setBounds(500, 2500);
    filter.setLabels(1, 0);
    filter.setThreadCount(static_cast<int>(state.range(0)));
    for (auto _ : state)
    {
        if (!filter.run())
            state.SkipWithError("the filter refused the volume");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * BYTES);
}

} // namespace

BENCHMARK(memcpyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(threshold)->ArgName("threads")->Arg(1)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

BENCHMARK_MAIN();
