// Binary dilation and erosion of the bone class as the panel runs them (element of size r
// from makeStructuringElement, centre (r, r, r)), on the host phantom labelled into 3 and
// 20 classes (CLabelPhantom.h; bone is class 2 of 3 and class 17 of 20), 256³ and
// 512 x 512 x 400, r = 1, 2 and 20, on 1 and 2 threads.
//
//   bench_morphology [--benchmark_filter=...]
//   bench_morphology --write FILE SIZE [R]
//
// morphology/size:S/classes:C/r:R/erosion:E/threads:T   S = 256 for 256³, 512 for
//                                                       512 x 512 x 400; E = 0 dilation
// tissue/size:S/r:R/erosion:E                           soft tissue (class 1 of 3) instead
//                                                       of bone: a region in most rows,
//                                                       the dense case; 1 thread
// copy/size:S                                           copying the labels, as the panel
//                                                       does before each run, for scale
//
// Setting up a phantom is not timed; the destination is made once per benchmark (the filter
// writes the same voxels whatever they hold). --write writes the 3-class phantom's bone
// mask (one byte per voxel, 1 for bone, x fastest) to FILE, and with R also this filter's
// dilation and erosion of it to FILE.dilated and FILE.eroded, for compare_scipy_morphology.py.

#include "bench/parvex/CLabelPhantom.h"
#include "plugins/parvex/seg/CBinaryDilation.h"
#include "plugins/parvex/seg/CBinaryErosion.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using tLabels = seg::CBinaryMorphology::tLabelVolume;

std::uint16_t boneClass(int classes)
{
    return phantomClass(velmora::import::CPhantomSource::BONE, classes);
}

int zSizeOf(int size)
{
    return size == 256 ? 256 : 400;
}

// The labelled phantom of the last size and class count asked for.
const tLabels& phantom(int size, int classes)
{
    static std::unique_ptr<tLabels> cached;
    static int cachedSize = 0, cachedClasses = 0;
    if (!cached || cachedSize != size || cachedClasses != classes)
    {
        cached.reset();
        cached = std::make_unique<tLabels>();
        makeLabelledPhantom(*cached, size, size, zSizeOf(size), classes, 0);
        cachedSize = size;
        cachedClasses = classes;
    }
    return *cached;
}

bool morphology(const tLabels& source, tLabels& destination, const seg::CBinaryMorphology::tElement& element,
                int r, bool erosion, std::uint16_t label, int threads)
{
    const auto configure = [&](seg::CBinaryMorphology& filter) {
        filter.setObjectLabel(label);
        filter.setWriteLabel(label);
        filter.setElementValue(true);
        filter.setCentre(r, r, r);
        filter.setThreadCount(threads);
    };
    if (erosion)
    {
        seg::CBinaryErosion filter(&source, &destination, &element);
        configure(filter);
        filter.setBackgroundLabel(0);
        return filter.run();
    }
    seg::CBinaryDilation filter(&source, &destination, &element);
    configure(filter);
    return filter.run();
}

void run(benchmark::State& state, int size, int classes, int r, bool erosion, std::uint16_t label, int threads)
{
    const tLabels& source = phantom(size, classes);
    tLabels destination(source);
    const seg::CBinaryMorphology::tElement element = seg::CBinaryMorphology::makeStructuringElement(r);
    for (auto _ : state)
    {
        if (!morphology(source, destination, element, r, erosion, label, threads))
            state.SkipWithError("the filter refused the volume");
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(size) * size * zSizeOf(size));
}

void morphologyOfPhantom(benchmark::State& state)
{
    const int classes = static_cast<int>(state.range(1));
    run(state, static_cast<int>(state.range(0)), classes, static_cast<int>(state.range(2)), state.range(3) != 0,
        boneClass(classes), static_cast<int>(state.range(4)));
}

void morphologyOfTissue(benchmark::State& state)
{
    run(state, static_cast<int>(state.range(0)), 3, static_cast<int>(state.range(1)), state.range(2) != 0,
        phantomClass(velmora::import::CPhantomSource::TISSUE, 3), 1);
}

void copyOfPhantom(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    const tLabels& source = phantom(size, 3);
    tLabels destination(source);
    for (auto _ : state)
    {
        destination.copy(source);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(size) * size * zSizeOf(size));
}

void phantomArguments(benchmark::internal::Benchmark* benchmark)
{
    for (int size : {256, 512})
        for (int classes : {3, 20})
            for (int r : {1, 2, 20})
                for (int erosion : {0, 1})
                    for (int threads : {1, 2})
                        benchmark->Args({size, classes, r, erosion, threads});
}

// The bone mask of `labels`, one byte per voxel.
bool writeMask(const std::string& path, const tLabels& labels, std::uint16_t bone)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    std::vector<unsigned char> row(static_cast<std::size_t>(labels.getXSize()));
    bool written = true;
    for (int z = 0; z < labels.getZSize() && written; ++z)
        for (int y = 0; y < labels.getYSize() && written; ++y)
        {
            const std::uint16_t* values = labels.getRowPtr(y, z);
            for (int x = 0; x < labels.getXSize(); ++x)
                row[x] = values[x] == bone ? 1 : 0;
            written = std::fwrite(row.data(), 1, row.size(), file) == row.size();
        }
    return std::fclose(file) == 0 && written;
}

int writeFiles(int argc, char** argv)
{
    const int size = argc >= 4 ? std::atoi(argv[3]) : 0;
    const int r = argc == 5 ? std::atoi(argv[4]) : 0;
    if ((argc != 4 && argc != 5) || (size != 256 && size != 512) || r < 0 || r > 20)
    {
        std::fprintf(stderr, "usage: bench_morphology --write FILE SIZE [R]   (SIZE: 256 or 512)\n");
        return 2;
    }
    const std::string path = argv[2];
    const tLabels& labels = phantom(size, 3);
    const std::uint16_t bone = boneClass(3);
    if (!writeMask(path, labels, bone))
        return 1;
    if (r == 0)
        return 0;
    const seg::CBinaryMorphology::tElement element = seg::CBinaryMorphology::makeStructuringElement(r);
    for (bool erosion : {false, true})
    {
        tLabels result(labels);
        if (!morphology(labels, result, element, r, erosion, bone, 1) ||
            !writeMask(path + (erosion ? ".eroded" : ".dilated"), result, bone))
            return 1;
    }
    return 0;
}

} // namespace

BENCHMARK(copyOfPhantom)
    ->Name("copy")
    ->ArgName("size")
    ->Arg(256)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(morphologyOfPhantom)
    ->Name("morphology")
    ->ArgNames({"size", "classes", "r", "erosion", "threads"})
    ->Apply(phantomArguments)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(morphologyOfTissue)
    ->Name("tissue")
    ->ArgNames({"size", "r", "erosion"})
    ->ArgsProduct({{256, 512}, {1, 2, 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--write") == 0)
        return writeFiles(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
