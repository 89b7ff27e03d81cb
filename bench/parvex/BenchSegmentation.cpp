// FCM and GMM segmentation of the host phantom (CDensityPhantom.h), 512 x 512 x 400, as the
// panel runs them.
//
//   bench_segmentation [--benchmark_filter=...]
//   bench_segmentation --write FILE
//
// fcm/clusters:C   "Perform FCM Segmentation" with C regions (0: the automatic count):
//                  histogram, clustering and labels; counter "clusters" is the count the
//                  colour table is sized from
// gmm/train        training both models from 1000 marked points (7000 samples), with the
//                  peak densities over all 16-bit values
// gmm/volume       labelling the whole volume with the trained estimator (the table is
//                  rebuilt first, as every run does)
// preview          one preview, from a stroke to the relabelled slice: the 1000 points
//                  sampled again, both models trained, the table, the XY plane snapshot for
//                  undo and the 512 x 512 slice
//
// Setting up the phantom and the strokes is not timed. --write writes the phantom's
// densities (signed 16-bit little-endian, x fastest) to FILE and the positive and negative
// training samples (float64) to FILE.positive and FILE.negative, for compare_sklearn_gmm.py.

#include "bench/parvex/CDensityPhantom.h"
#include "data/CRegionData.h"
#include "plugins/parvex/seg/CASVolumeFCM.h"
#include "plugins/parvex/seg/CVolumeEM.h"
#include "plugins/parvex/seg/CVoxelNeighbourhoodSampler.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using tEstimator = seg::CVolumeEM<seg::CVoxelNeighbourhoodSampler>;

constexpr int X = 512, Y = 512, Z = 400;
constexpr int POINTS_PER_KIND = 500;

const data::CDensityData& phantom()
{
    static std::unique_ptr<data::CDensityData> volume;
    if (!volume)
    {
        volume = std::make_unique<data::CDensityData>();
        makeDensityPhantom(*volume, X, Y, Z);
    }
    return *volume;
}

struct CSamples
{
    seg::CVoxelNeighbourhoodSampler positive;
    seg::CVoxelNeighbourhoodSampler negative;
};

void mark(CSamples& samples, const CPhantomStrokes& strokes, const data::CDensityData& volume)
{
    samples.positive.getTrainingSet().clear();
    samples.negative.getTrainingSet().clear();
    for (const osg::Vec3f& point : strokes.positive)
        samples.positive.addSamples(point, volume);
    for (const osg::Vec3f& point : strokes.negative)
        samples.negative.addSamples(point, volume);
}

void fcm(benchmark::State& state)
{
    const data::CDensityData& density = phantom();
    data::CRegionData regions(X, Y, Z);
    std::int32_t clusters = 0;
    for (auto _ : state)
    {
        seg::CASVolumeFCM segmentation(static_cast<std::int32_t>(state.range(0)), 1.5);
        segmentation.run(density, regions);
        clusters = segmentation.getClusterCount();
        benchmark::ClobberMemory();
    }
    state.counters["clusters"] = clusters;
    state.SetItemsProcessed(state.iterations() * std::int64_t(X) * Y * Z);
}

void gmmTrain(benchmark::State& state)
{
    const data::CDensityData& density = phantom();
    CSamples samples;
    mark(samples, phantomStrokes(density, POINTS_PER_KIND), density);
    for (auto _ : state)
    {
        tEstimator estimator;
        estimator.train(samples.positive.getTrainingSet(), samples.negative.getTrainingSet());
        benchmark::DoNotOptimize(estimator.getPositiveScale());
    }
    state.counters["samples"] =
        double(samples.positive.getTrainingSet().getSize() + samples.negative.getTrainingSet().getSize());
}

void gmmVolume(benchmark::State& state)
{
    const data::CDensityData& density = phantom();
    CSamples samples;
    mark(samples, phantomStrokes(density, POINTS_PER_KIND), density);
    tEstimator estimator;
    estimator.train(samples.positive.getTrainingSet(), samples.negative.getTrainingSet());
    data::CRegionData regions(X, Y, Z);
    for (auto _ : state)
    {
        estimator.segment(density, regions, 0);
        benchmark::ClobberMemory();
    }
    std::int64_t ones = 0;
    regions.forEach([&ones](const std::uint16_t& label) { ones += label; });
    state.counters["labelled"] = double(ones);
    state.SetItemsProcessed(state.iterations() * std::int64_t(X) * Y * Z);
}

void preview(benchmark::State& state)
{
    const data::CDensityData& density = phantom();
    const CPhantomStrokes strokes = phantomStrokes(density, POINTS_PER_KIND);
    CSamples samples;
    data::CRegionData regions(X, Y, Z);
    data::COrthoSliceXY slice;
    slice.setPosition(Z / 2);
    slice.setSize(X, Y);
    std::int64_t changed = 0;
    for (auto _ : state)
    {
        // The slice starts unlabelled each time, so every preview changes it.
        for (int y = 0; y < Y; ++y)
            std::memset(regions.getRowPtr(y, slice.getPosition()), 0, sizeof(std::uint16_t) * X);
        mark(samples, strokes, density);
        tEstimator estimator;
        estimator.train(samples.positive.getTrainingSet(), samples.negative.getTrainingSet());
        data::CUndoProvider::tSnapshotPtr before = regions.createPlaneXYSnapshot(slice.getPosition());
        changed = estimator.segmentSlice(density, regions, slice);
        benchmark::DoNotOptimize(before.get());
    }
    state.counters["points"] = double(strokes.positive.size() + strokes.negative.size());
    state.counters["changed"] = double(changed);
}

bool writeArray(const std::string& path, const void* data, std::size_t bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, bytes, file) == bytes;
    return std::fclose(file) == 0 && written;
}

int writeFiles(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: bench_segmentation --write FILE\n");
        return 2;
    }
    const std::string path = argv[2];
    const data::CDensityData& density = phantom();
    std::vector<std::int16_t> voxels;
    voxels.reserve(std::size_t(X) * Y * Z);
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            voxels.insert(voxels.end(), density.getRowPtr(y, z), density.getRowPtr(y, z) + X);
    CSamples samples;
    mark(samples, phantomStrokes(density, POINTS_PER_KIND), density);
    auto values = [](const seg::CVoxelNeighbourhoodSampler& sampler) {
        std::vector<double> result;
        for (const seg::CVoxelValue& sample : sampler.getTrainingSet().getSamples())
            result.push_back(sample.value);
        return result;
    };
    const std::vector<double> positive = values(samples.positive);
    const std::vector<double> negative = values(samples.negative);
    return writeArray(path, voxels.data(), voxels.size() * sizeof(std::int16_t)) &&
                   writeArray(path + ".positive", positive.data(), positive.size() * sizeof(double)) &&
                   writeArray(path + ".negative", negative.data(), negative.size() * sizeof(double))
               ? 0
               : 1;
}

} // namespace

BENCHMARK(fcm)->Name("fcm")->ArgName("clusters")->Arg(3)->Arg(6)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(gmmTrain)->Name("gmm/train")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(gmmVolume)->Name("gmm/volume")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(preview)->Name("preview")->Unit(benchmark::kMillisecond)->UseRealTime();

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
