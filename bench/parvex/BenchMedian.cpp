// The median filter of label volumes as the panel runs it (source with a margin of r
// zeros, window 2r + 1), on the host phantom labelled into 3 and 20 classes
// (CLabelPhantom.h), 256³ and 512 x 512 x 400, r = 1, 2 and 9, on 1 and 2 threads.
//
//   bench_median [--benchmark_filter=...]
//
// phantom/size:S/classes:C/r:R/threads:T   S = 256 for 256³, 512 for 512 x 512 x 400
// methods/labels:L/r:R/method:M            128 x 128 x 64 of blocks of L labels with 2 %
//                                          noise, 1 thread, M = 1 COUNTING, 2 HISTOGRAM: the
//                                          two methods side by side, for the choice between
//                                          them (countingIsCheaper in MedianFilter.cpp)
//
// Setting up a phantom (the CT, its labels) is not timed. Other tools on the same labels:
// write_label_phantom writes them raw, itk_median.cpp times ITK's MedianImageFilter on them.

#include "bench/parvex/CLabelPhantom.h"
#include "plugins/parvex/seg/MedianFilter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>

namespace {

using tLabels = kvo::img::CVolume<std::uint16_t>;
using EMethod = seg::CMedianOptions::EMethod;

// The labelled phantom of the last size and class count asked for, with a margin of r zeros.
const tLabels& phantom(int size, int classes, int r)
{
    static std::unique_ptr<tLabels> cached;
    static int cachedSize = 0, cachedClasses = 0;
    if (!cached || cachedSize != size || cachedClasses != classes)
    {
        cached.reset();
        cached = std::make_unique<tLabels>();
        makeLabelledPhantom(*cached, size, size, size == 256 ? 256 : 400, classes, 0);
        cachedSize = size;
        cachedClasses = classes;
    }
    static std::unique_ptr<tLabels> withMargin;
    withMargin = std::make_unique<tLabels>(cached->getXSize(), cached->getYSize(), cached->getZSize(), r);
    withMargin->fillMargin(0);
    withMargin->copyBlock(*cached);
    return *withMargin;
}

void medianOfPhantom(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const int classes = static_cast<int>(state.range(1));
    const int r = static_cast<int>(state.range(2));
    const int threads = static_cast<int>(state.range(3));
    const tLabels& source = phantom(size, classes, r);
    tLabels destination(source.getXSize(), source.getYSize(), source.getZSize());
    destination.copyBlock(source);
    for (auto _ : state)
    {
        if (!seg::medianFilter(source, destination, 2 * r + 1, {}, {threads, EMethod::AUTOMATIC}))
            state.SkipWithError("the filter refused the volume");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * source.getXSize() * source.getYSize() * source.getZSize());
}

void methods(benchmark::State& state)
{
    const int labels = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const auto method = static_cast<EMethod>(state.range(2));
    constexpr int X = 128, Y = 128, Z = 64;
    tLabels source(X, Y, Z, r);
    source.fillEntire(0);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> label(0, labels - 1);
    // Blocks of 8³ voxels of one label, then 2 % of the voxels set at random.
    for (int z = 0; z < Z; z += 8)
        for (int y = 0; y < Y; y += 8)
            for (int x = 0; x < X; x += 8)
            {
                const auto value = static_cast<std::uint16_t>(label(random));
                for (int k = z; k < z + 8; ++k)
                    for (int j = y; j < y + 8; ++j)
                        for (int i = x; i < x + 8; ++i)
                            source.at(i, j, k) = value;
            }
    std::bernoulli_distribution noise(0.02);
    source.forEach([&](std::uint16_t& value) {
        if (noise(random))
            value = static_cast<std::uint16_t>(label(random));
    });
    tLabels destination(X, Y, Z);
    for (auto _ : state)
    {
        if (!seg::medianFilter(source, destination, 2 * r + 1, {}, {1, method}))
            state.SkipWithError("the filter refused the volume");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * X * Y * Z);
}

} // namespace

BENCHMARK(medianOfPhantom)
    ->ArgNames({"size", "classes", "r", "threads"})
    ->ArgsProduct({{256}, {3, 20}, {1, 2, 9}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.5);
BENCHMARK(medianOfPhantom)
    ->ArgNames({"size", "classes", "r", "threads"})
    ->ArgsProduct({{512}, {3, 20}, {1, 2, 9}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(methods)
    ->ArgNames({"labels", "r", "method"})
    ->ArgsProduct({{4, 16, 64, 256}, {1, 3, 9}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.2);

BENCHMARK_MAIN();
