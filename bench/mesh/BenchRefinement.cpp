// The refinement steps of the model creation plug-in on the bone surface of the benchmark
// phantom (CBonePhantom.h), each on the mesh the step gets in the pipeline, and the whole
// "RUN ALL" chain from the mask. The same mask for VTK: write_bone_mask, then
// compare_vtk_refinement.py.
//
// Counters (seconds are means per iteration; the input mesh is rebuilt outside the timing):
//   seconds     the step alone
//   input_tris  triangles the step got
//   triangles   triangles it left
//
//   flat        flat-area reduction of the raw marching-cubes surface ("Flow reduction")
//   smallAreas  small-area reduction (threshold 500) of the reduced surface
//   smooth5     smoothing, 5 iterations, default factors, of the reduced surface
//   smooth5Raw  the same of the raw surface (the input VTK's smoothing gets)
//   decimate    decimation to 100,000 triangles of the raw surface, and of the smoothed one
//   runAll      extraction, flat areas, small areas, smoothing, decimation to 100,000

#include "bench/mesh/CBonePhantom.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"
#include "plugins/ostrum/mesh/CFlatAreaReduction.h"
#include "plugins/ostrum/mesh/CMeshDecimation.h"
#include "plugins/ostrum/mesh/CMeshSmoothing.h"
#include "plugins/ostrum/mesh/CSmallAreaReduction.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

namespace {

using tMask = kvo::img::CVolume<std::uint16_t>;

constexpr long TARGET = 100000;

const tMask& mask(int X, int Y, int Z)
{
    static std::map<std::tuple<int, int, int>, tMask> masks;
    tMask& volume = masks[{X, Y, Z}];
    if (volume.getXSize() != X)
        makeBonePhantom(volume, X, Y, Z);
    return volume;
}

std::unique_ptr<vctl::MCTriS> extract(const tMask& volume)
{
    auto mesh = std::make_unique<vctl::MCTriS>();
    CMarchingCubes extractor;
    extractor.setDimensions(volume.getXSize(), volume.getYSize(), volume.getZSize());
    extractor.setVoxelSize(1.0, 1.0, 1.0);
    extractor.extract(mesh.get(), 1, volume);
    return mesh;
}

// Stages of the pipeline that prepare a step's input.
enum EStage
{
    RAW = 0,
    REDUCED = 1,
    SMOOTHED = 2
};

std::unique_ptr<vctl::MCTriS> prepared(const tMask& volume, EStage stage)
{
    auto mesh = extract(volume);
    if (stage >= REDUCED)
    {
        CFlatAreaReduction().reduce(*mesh);
        CSmallAreaReduction().reduce(*mesh, 500);
    }
    if (stage >= SMOOTHED)
        CMeshSmoothing().smooth(*mesh, 5, CMeshSmoothing::DEFAULT_LAMBDA, CMeshSmoothing::DEFAULT_K);
    return mesh;
}

void timeStep(benchmark::State& state, EStage stage, const std::function<void(vctl::MCTriS&)>& step)
{
    const tMask& volume = mask(int(state.range(0)), int(state.range(1)), int(state.range(2)));
    double seconds = 0.0;
    double input = 0.0, output = 0.0;
    for (auto _ : state)
    {
        state.PauseTiming();
        auto mesh = prepared(volume, stage);
        input = mesh->getNumOfTris();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        step(*mesh);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        output = mesh->getNumOfTris();
        state.PauseTiming();
        mesh.reset();
        state.ResumeTiming();
    }
    state.counters["seconds"] = seconds / static_cast<double>(state.iterations());
    state.counters["input_tris"] = input;
    state.counters["triangles"] = output;
}

void flat(benchmark::State& state)
{
    timeStep(state, RAW, [](vctl::MCTriS& mesh) { CFlatAreaReduction().reduce(mesh); });
}
void smallAreas(benchmark::State& state)
{
    timeStep(state, REDUCED, [](vctl::MCTriS& mesh) { CSmallAreaReduction().reduce(mesh, 500); });
}
void smooth5(benchmark::State& state)
{
    timeStep(state, REDUCED, [](vctl::MCTriS& mesh) { CMeshSmoothing().smooth(mesh, 5, 0.6073, 0.1); });
}
void smooth5Raw(benchmark::State& state)
{
    timeStep(state, RAW, [](vctl::MCTriS& mesh) { CMeshSmoothing().smooth(mesh, 5, 0.6073, 0.1); });
}
void decimateRaw(benchmark::State& state)
{
    timeStep(state, RAW, [](vctl::MCTriS& mesh) { CMeshDecimation().decimate(mesh, TARGET); });
}
void decimateSmoothed(benchmark::State& state)
{
    timeStep(state, SMOOTHED, [](vctl::MCTriS& mesh) { CMeshDecimation().decimate(mesh, TARGET); });
}

void runAll(benchmark::State& state)
{
    const tMask& volume = mask(int(state.range(0)), int(state.range(1)), int(state.range(2)));
    double output = 0.0;
    for (auto _ : state)
    {
        auto mesh = extract(volume);
        CFlatAreaReduction().reduce(*mesh);
        CSmallAreaReduction().reduce(*mesh, 500);
        CMeshSmoothing().smooth(*mesh, 5, 0.6073, 0.1);
        CMeshDecimation().decimate(*mesh, TARGET);
        output = mesh->getNumOfTris();
        state.PauseTiming();
        mesh.reset();
        state.ResumeTiming();
    }
    state.counters["triangles"] = output;
}

#define SIZES ->Args({256, 256, 256})->Args({512, 512, 400})->Unit(benchmark::kMillisecond)->Iterations(1)
BENCHMARK(flat) SIZES->UseManualTime();
BENCHMARK(smallAreas) SIZES->UseManualTime();
BENCHMARK(smooth5) SIZES->UseManualTime();
BENCHMARK(smooth5Raw) SIZES->UseManualTime();
BENCHMARK(decimateRaw) SIZES->UseManualTime();
BENCHMARK(decimateSmoothed) SIZES->UseManualTime();
BENCHMARK(runAll) SIZES->UseRealTime();

} // namespace

BENCHMARK_MAIN();
