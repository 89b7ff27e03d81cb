// Marching cubes extraction of the bone label of a synthetic phantom.
//
// The same mask for other tools: write_bone_mask (WriteBoneMask.cpp).
// Counters: seconds per extraction, triangles, vertices, peak resident memory (MiB).

#include "bench/mesh/CBonePhantom.h"
#include "bench/mesh/CHostPhantomMask.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <sys/resource.h>

namespace {

double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

void extract(benchmark::State& state, bool hostPhantom)
{
    const int X = static_cast<int>(state.range(0));
    const int Y = static_cast<int>(state.range(1));
    const int Z = static_cast<int>(state.range(2));
    kvo::img::CVolume<std::uint16_t> volume;
    if (hostPhantom)
        makeThresholdedHostPhantom(volume, X, Y, Z);
    else
        makeBonePhantom(volume, X, Y, Z);

    CMarchingCubes mc;
    double seconds = 0.0;
    std::int64_t triangles = 0, vertices = 0;
    for (auto _ : state)
    {
        auto mesh = std::make_unique<vctl::MCTriS>();
        mc.setDimensions(X, Y, Z);
        mc.setVoxelSize(1.0, 1.0, 1.0);
        const auto start = std::chrono::steady_clock::now();
        mc.extract(mesh.get(), 1, volume, false);
        const auto stop = std::chrono::steady_clock::now();
        seconds += std::chrono::duration<double>(stop - start).count();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
        triangles = mesh->getNumOfTris();
        vertices = mesh->getNumOfVertices();
        state.PauseTiming();
        mesh.reset();
        state.ResumeTiming();
    }
    state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["peak_MiB"] = peakMemoryMiB();
}

void extractBone(benchmark::State& state) { extract(state, false); }
void extractThresholdedPhantom(benchmark::State& state) { extract(state, true); }

BENCHMARK(extractBone)->Args({256, 256, 256})->Args({512, 512, 400})->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(extractThresholdedPhantom)
    ->Args({256, 256, 256})
    ->Args({512, 512, 400})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
