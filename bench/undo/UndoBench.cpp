// Speed of undo snapshots of a 256 × 256 × 256 label volume: run-length encoding (taking a
// snapshot) and decoding (restoring it), in bytes of the 16-bit volume per second.
//
// Volumes: a segmentation-like phantom (background with a few labelled ellipsoids whose
// surfaces are noisy), and the same phantom with 2 % of all voxels relabelled at random
// (a hard case: short runs everywhere).

#include "data/CRegionData.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

constexpr int SIZE = 256;

struct CEllipsoid
{
    double cx, cy, cz, rx, ry, rz;
    std::uint16_t label;
};

std::unique_ptr<data::CRegionData> makePhantom(double noise)
{
    auto volume = std::make_unique<data::CRegionData>(SIZE, SIZE, SIZE);
    const CEllipsoid shapes[] = {
        {128, 128, 128, 100, 80, 110, 1}, // body
        {100, 120, 130, 30, 25, 40, 2},   // organ
        {160, 130, 120, 28, 30, 35, 3},   // organ
        {128, 170, 140, 12, 12, 90, 4},   // vessel-like
        {128, 90, 100, 20, 15, 20, 5},
    };
    std::mt19937 random(1537);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> label(0, 5);
    for (int z = 0; z < SIZE; ++z)
    {
        for (int y = 0; y < SIZE; ++y)
        {
            std::uint16_t* row = volume->getRowPtr(y, z);
            for (int x = 0; x < SIZE; ++x)
            {
                std::uint16_t value = 0;
                for (const CEllipsoid& e : shapes)
                {
                    const double dx = (x - e.cx) / e.rx, dy = (y - e.cy) / e.ry, dz = (z - e.cz) / e.rz;
                    const double r = std::sqrt(dx * dx + dy * dy + dz * dz);
                    // A ragged surface: within 3 % of the radius the voxel is inside at random.
                    if (r < 0.97 || (r < 1.03 && unit(random) < 0.5))
                        value = e.label;
                }
                if (noise > 0 && unit(random) < noise)
                    value = std::uint16_t(label(random));
                row[x] = value;
            }
        }
    }
    return volume;
}

const data::CRegionData& phantom(bool noisy)
{
    static const auto clean = makePhantom(0.0);
    static const auto hard = makePhantom(0.02);
    return noisy ? *hard : *clean;
}

using tSnapshot = data::CVolumeSnapshot<data::CRegionData::tVolume>;

void reportRatio(benchmark::State& state, const tSnapshot& snapshot)
{
    const double bytes = double(SIZE) * SIZE * SIZE * sizeof(std::uint16_t);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
    state.counters["code_bytes"] = double(snapshot.getDataSize());
    state.counters["ratio"] = bytes / double(snapshot.getDataSize());
}

void BM_Encode(benchmark::State& state)
{
    const data::CRegionData& volume = phantom(state.range(0) != 0);
    std::unique_ptr<tSnapshot> last;
    for (auto _ : state)
    {
        last = std::make_unique<tSnapshot>(data::CSnapshot::KIND_VOLUME, volume, nullptr);
        benchmark::DoNotOptimize(last.get());
    }
    reportRatio(state, *last);
}

void BM_Decode(benchmark::State& state)
{
    const data::CRegionData& volume = phantom(state.range(0) != 0);
    const tSnapshot snapshot(data::CSnapshot::KIND_VOLUME, volume, nullptr);
    data::CRegionData target(SIZE, SIZE, SIZE);
    for (auto _ : state)
    {
        snapshot.restore(target);
        benchmark::ClobberMemory();
    }
    reportRatio(state, snapshot);
}

} // namespace

BENCHMARK(BM_Encode)->ArgName("noisy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->ArgName("noisy")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
