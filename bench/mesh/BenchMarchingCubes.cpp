// Marching cubes extraction of the bone label of a synthetic phantom, and what "Run MC"
// does with the mesh after it outside the window: the 3D view's geometry and, when the
// next model replaces it, the mesh's destruction.
//
// The same mask for other tools: write_bone_mask (WriteBoneMask.cpp).
// Counters (seconds are means per iteration):
//   seconds         extraction (with its memory estimate), the benchmark's time
//   estimate_s      the memory estimate alone (counting boundary edges)
//   geometry_s      the 3D view's geometry of the mesh (host/views/CMeshGeometry)
//   destroy_s       destroying the mesh
//   triangles, vertices
//   mesh_B_per_tri  bytes the mesh took from the system (vertices and triangles, whole
//                   blocks) per triangle
//   resident_B_per_tri  growth of the resident memory from before the first extraction to
//                   after it, per triangle (the mesh as the system sees it)
//   peak_MiB        peak resident memory of the process

#include "bench/mesh/CBonePhantom.h"
#include "bench/mesh/CHostPhantomMask.h"
#include "host/views/CMeshGeometry.h"
#include "plugins/ostrum/mc/CMarchingCubes.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

double residentBytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* file = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(file, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(file);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    double seconds = 0.0, estimate = 0.0, geometry = 0.0, destroy = 0.0;
    double meshBytes = 0.0, residentGrowth = -1.0;
    std::int64_t triangles = 0, vertices = 0;
    for (auto _ : state)
    {
        const double residentBefore = residentBytes();
        auto mesh = std::make_unique<vctl::MCTriS>();
        mc.setDimensions(X, Y, Z);
        mc.setVoxelSize(1.0, 1.0, 1.0);
        auto start = std::chrono::steady_clock::now();
        mc.extract(mesh.get(), 1, volume, false);
        const double elapsed = since(start);
        seconds += elapsed;
        state.SetIterationTime(elapsed);
        state.PauseTiming();
        triangles = mesh->getNumOfTris();
        vertices = mesh->getNumOfVertices();
        meshBytes = static_cast<double>(mesh->getVertices().getArena().getBytes());
        if (residentGrowth < 0.0)
            residentGrowth = residentBytes() - residentBefore;
        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(CMarchingCubes::countBoundaryEdges(X, Y, Z, 1, volume));
        estimate += since(start);
        start = std::chrono::steady_clock::now();
        osg::ref_ptr<osg::Geometry> shown = velmora::views::CMeshGeometry::build(*mesh, osg::Vec4(1, 1, 1, 1));
        geometry += since(start);
        shown = nullptr;
        start = std::chrono::steady_clock::now();
        mesh.reset();
        destroy += since(start);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["seconds"] = seconds / n;
    state.counters["estimate_s"] = estimate / n;
    state.counters["geometry_s"] = geometry / n;
    state.counters["destroy_s"] = destroy / n;
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["vertices"] = static_cast<double>(vertices);
    state.counters["mesh_B_per_tri"] = triangles ? meshBytes / static_cast<double>(triangles) : 0.0;
    state.counters["resident_B_per_tri"] = triangles ? residentGrowth / static_cast<double>(triangles) : 0.0;
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
