// Segmentation files: the whole Save and Load commands (storage objects, file, undo
// snapshot, colour table) beside zlib level 6 of the same raw label bytes in memory, and the
// label-volume layouts that were weighed against each other, with the file sizes as
// counters ("bytes").
//
// Volumes (the benchmark argument):
//   0: the host's phantom at 512 x 512 x 400 thresholded into air, soft tissue (-200..300),
//      bone (300..3071) and dense (3071 and above): labels 0..3;
//   1: the same at 256^3;
//   2: a real multi-organ label map (42 labels, 122 x 101 x 30) from the shared data, when
//      that folder is there.
// Layouts: "runs" is the one used (slice run-length code through zlib); "rawzlib" writes
// the label rows as they are through zlib (the plain volume block); "rle16" writes them
// through the 16-bit run-length compressor.

#include "data/CActiveDataSet.h"
#include "data/CDataStorage.h"
#include "data/CObjectPtr.h"
#include "data/CRegionColoring.h"
#include "data/CRegionData.h"
#include "data/CStorableFactory.h"
#include "data/CUndoManager.h"
#include "data/StorageEntries.h"
#include "host/import/CNiftiReader.h"
#include "host/import/CPhantomSource.h"
#include "plugins/tolvane/CSegmentationFile.h"
#include "toolkit/mod/CBinarySerializer.h"
#include "toolkit/mod/CFileChannel.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

using namespace data::entries;
namespace fs = std::filesystem;

velmora::import::CLoadedVolume labelsOf(int which)
{
    if (which == 2)
    {
        velmora::import::CLoadedVolume map = velmora::import::CNiftiReader().read(
            std::string(VELMORA_SHARED_DATA_DIR) + "/labels-abdomen-nifti/example_seg.nii.gz");
        return map;
    }
    const int size = which == 0 ? 512 : 256;
    velmora::import::CLoadedVolume ct = velmora::import::CPhantomSource(size, size, which == 0 ? 400 : 256).generate();
    for (std::int16_t& voxel : ct.voxels)
        voxel = voxel < -200 ? 0 : voxel < 300 ? 1 : voxel < 3071 ? 2 : 3;
    return ct;
}

// A storage holding the segmentation as the host would: entries 11, 501, 502 and 557.
struct CSession
{
    explicit CSession(int which)
    {
        factory.registerObject<data::CActiveDataSet>(ENTRY_ACTIVE_DATA_SET);
        factory.registerObject<data::CRegionData>(ENTRY_REGION_DATA);
        factory.registerObject<data::CRegionColoring>(ENTRY_REGION_COLORING);
        factory.registerObject<data::CUndoManager>(ENTRY_UNDO_MANAGER);
        storage = new data::CDataStorage(&factory);
        const velmora::import::CLoadedVolume labels = labelsOf(which);
        data::CObjectPtr<data::CRegionData> regions(storage->getEntry(ENTRY_REGION_DATA, 3));
        regions->resize(labels.xSize, labels.ySize, labels.zSize, 0);
        std::size_t i = 0;
        for (int z = 0; z < labels.zSize; ++z)
            for (int y = 0; y < labels.ySize; ++y)
                for (int x = 0; x < labels.xSize; ++x)
                    regions->at(x, y, z) = std::uint16_t(labels.voxels[i++]);
        data::CObjectPtr<data::CRegionColoring> coloring(storage->getEntry(ENTRY_REGION_COLORING, 3));
        coloring->resize(int(regions->getLargestLabel()) + 1, true);
    }

    data::CStorableFactory factory;
    kvo::base::CRefPtr<data::CDataStorage> storage;
};

CSession& session(int which)
{
    static std::map<int, std::unique_ptr<CSession>> sessions;
    auto& kept = sessions[which];
    if (!kept)
        kept = std::make_unique<CSession>(which);
    return *kept;
}

std::string fileOf(const char* name, int which)
{
    return (fs::temp_directory_path() / ("bench-" + std::to_string(::getpid()) + "-" + name + "-" +
                                         std::to_string(which) + ".seg"))
        .string();
}

bool skipWithoutData(benchmark::State& state)
{
    if (state.range(0) == 2 && !fs::exists(std::string(VELMORA_SHARED_DATA_DIR) + "/labels-abdomen-nifti"))
    {
        state.SkipWithError("shared data folder absent");
        return true;
    }
    return false;
}

void BM_SaveCommand(benchmark::State& state)
{
    if (skipWithoutData(state))
        return;
    CSession& s = session(int(state.range(0)));
    const std::string path = fileOf("save", int(state.range(0)));
    for (auto _ : state)
    {
        if (tolvane::CSegmentationFile(*s.storage).save(path) != tolvane::CSegmentationFile::EResult::DONE)
            state.SkipWithError("save failed");
    }
    state.counters["bytes"] = double(fs::file_size(path));
    fs::remove(path);
}

void BM_LoadCommand(benchmark::State& state)
{
    if (skipWithoutData(state))
        return;
    CSession& s = session(int(state.range(0)));
    const std::string path = fileOf("load", int(state.range(0)));
    tolvane::CSegmentationFile file(*s.storage);
    file.save(path);
    for (auto _ : state)
    {
        if (file.load(path) != tolvane::CSegmentationFile::EResult::DONE)
            state.SkipWithError("load failed");
    }
    fs::remove(path);
}

// The reference: zlib level 6 (window 15, memory level 8) of the raw label bytes.
void BM_ZlibLevel6OfRawLabels(benchmark::State& state)
{
    if (skipWithoutData(state))
        return;
    CSession& s = session(int(state.range(0)));
    data::CObjectPtr<data::CRegionData> regions(s.storage->getEntry(ENTRY_REGION_DATA, 3));
    const std::size_t bytes = std::size_t(regions->getXSize()) * regions->getYSize() * regions->getZSize() * 2;
    const Bytef* labels = reinterpret_cast<const Bytef*>(regions->getRowPtr(0, 0));
    std::vector<Bytef> out(deflateBound(nullptr, uLong(bytes)) + 64);
    std::size_t produced = 0;
    for (auto _ : state)
    {
        z_stream stream{};
        deflateInit2(&stream, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
        stream.next_in = const_cast<Bytef*>(labels);
        stream.avail_in = uInt(bytes);
        stream.next_out = out.data();
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FINISH);
        produced = stream.total_out;
        deflateEnd(&stream);
    }
    state.counters["bytes"] = double(produced);
}

// The label volume alone, in one of the layouts, to a file.
void BM_Layout(benchmark::State& state, const char* layout)
{
    if (skipWithoutData(state))
        return;
    CSession& s = session(int(state.range(0)));
    data::CObjectPtr<data::CRegionData> regions(s.storage->getEntry(ENTRY_REGION_DATA, 3));
    const std::string path = fileOf(layout, int(state.range(0)));
    for (auto _ : state)
    {
        kvo::mod::CFileChannel channel(kvo::mod::CChannel::CH_OUT, path);
        kvo::mod::CBinarySerializer serializer(&channel, 0);
        if (std::string(layout) == "runs")
            regions->serialize(serializer);
        else if (std::string(layout) == "rawzlib")
            regions->tVolume::serialize(serializer);
        else
        {
            serializer.beginWrite("rle16", 2, 65536);
            for (int z = 0; z < regions->getZSize(); ++z)
                for (int y = 0; y < regions->getYSize(); ++y)
                    serializer.writeArray(regions->getRowPtr(y, z), std::size_t(regions->getXSize()));
            serializer.endWrite();
        }
    }
    state.counters["bytes"] = double(fs::file_size(path));
    fs::remove(path);
}

} // namespace

BENCHMARK(BM_SaveCommand)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCommand)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibLevel6OfRawLabels)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Layout, runs, "runs")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Layout, rawzlib, "rawzlib")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Layout, rle16, "rle16")->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
