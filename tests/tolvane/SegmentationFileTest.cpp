// Segmentation files on the host's entries: a golden file laid out by hand from the file
// format (not by our serializer) loads exactly; every truncation at 64-byte steps and
// random damage either loads (only where the damage left a valid file) or is refused with
// the storage untouched; refused entry lists and sizes; the colour table covering every
// label; undo of a load; saves that fail or are cancelled leave the old file byte for byte.

#include "TolvaneFixture.h"

#include "plugins/tolvane/CSegmentationFile.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>

using tolvane::CSegmentationFile;
using tolvane::testing::CTolvaneFixture;
using tBytes = std::vector<char>;
using tLabels = std::vector<std::uint16_t>;
using EResult = CSegmentationFile::EResult;
namespace fs = std::filesystem;

namespace {

void put32(tBytes& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char((value >> (8 * i)) & 0xFF));
}

void put16(tBytes& out, std::uint16_t value)
{
    out.push_back(char(value & 0xFF));
    out.push_back(char(value >> 8));
}

void putHeader(tBytes& out, const std::string& name, std::int32_t method, std::int32_t blockSize)
{
    tBytes header(256, 0);
    std::copy(name.begin(), name.end(), header.begin());
    tBytes fields;
    put32(fields, std::uint32_t(method));
    put32(fields, std::uint32_t(blockSize));
    std::copy(fields.begin(), fields.end(), header.begin() + 32);
    out.insert(out.end(), header.begin(), header.end());
}

// A block's data, uncompressed (method 0), in sub-blocks of `blockSize`.
void putBlock(tBytes& out, const std::string& name, const tBytes& data, std::int32_t blockSize)
{
    putHeader(out, name, 0, blockSize);
    std::size_t at = 0;
    while (true)
    {
        const std::size_t piece = std::min<std::size_t>(std::size_t(blockSize), data.size() - at);
        put32(out, 23123);
        put32(out, std::uint32_t(piece));
        out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + piece));
        at += piece;
        if (piece < std::size_t(blockSize))
            return;
    }
}

void putChecksum(tBytes& data)
{
    put32(data, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()))));
}

struct CRegion
{
    std::uint8_t r, g, b, a;
    bool visible;
    std::string name;
};

struct CGolden
{
    int x = 5, y = 4, z = 3;
    tLabels labels;
    std::vector<CRegion> table;
    int active = 2;
    std::uint32_t state = 99;
    std::vector<std::uint32_t> list{501, 502};
    std::size_t countOffset = 0; // where the manager's entry count lies in the file

    // The file as its format lays it out. The labels are coded as repeat runs only (any
    // valid run-length code must load), the blocks are uncompressed in 64-byte sub-blocks.
    tBytes build()
    {
        tBytes file{'K', 'V', 'O', 0};
        put32(file, 51);
        file.resize(256, 0);
        tBytes manager;
        put32(manager, 60);
        put32(manager, std::uint32_t(list.size()));
        for (const std::uint32_t id : list)
            put32(manager, id);
        countOffset = file.size() + 256 + 8 + 4;
        putBlock(file, "SerializationManager", manager, 4096);

        tBytes volume;
        for (const std::uint32_t value : {1u, std::uint32_t(x), std::uint32_t(y), std::uint32_t(z), 1u})
            put32(volume, value);
        const std::size_t slice = std::size_t(x) * std::size_t(y);
        for (int k = 0; k < z; ++k)
        {
            tBytes controls, values;
            for (std::size_t i = 0; i < slice;)
            {
                const std::uint16_t value = labels[std::size_t(k) * slice + i];
                std::size_t run = 1;
                while (i + run < slice && run < 127 && labels[std::size_t(k) * slice + i + run] == value)
                    ++run;
                controls.push_back(char(0x80 | run));
                put16(values, value);
                i += run;
            }
            put32(volume, std::uint32_t(controls.size()));
            put32(volume, std::uint32_t(values.size() / 2));
            volume.insert(volume.end(), controls.begin(), controls.end());
            volume.insert(volume.end(), values.begin(), values.end());
        }
        putChecksum(volume);

        tBytes coloring;
        put32(coloring, 1);
        put32(coloring, std::uint32_t(table.size()));
        put32(coloring, std::uint32_t(active));
        put32(coloring, state);
        for (const CRegion& region : table)
        {
            for (const std::uint8_t byte : {region.r, region.g, region.b, region.a, std::uint8_t(region.visible)})
                coloring.push_back(char(byte));
            put32(coloring, std::uint32_t(region.name.size()));
            coloring.insert(coloring.end(), region.name.begin(), region.name.end());
        }
        putChecksum(coloring);

        for (const std::uint32_t id : list)
        {
            if (id == 501)
                putBlock(file, "data::CRegionData", volume, 64);
            else if (id == 502)
                putBlock(file, "data::CRegionColoring", coloring, 64);
        }
        putHeader(file, "TerminalBlock", 0, 0);
        return file;
    }
};

CGolden golden()
{
    CGolden g;
    for (int i = 0; i < g.x * g.y * g.z; ++i)
        g.labels.push_back(std::uint16_t(i < 20 ? 0 : (i / 7) % 4));
    g.table = {{0, 0, 0, 0, true, "Not classified"},
               {10, 20, 30, 128, true, "Bone"},
               {200, 0, 0, 255, false, "Liver \xc3\xa9"},
               {1, 2, 3, 4, true, ""}};
    return g;
}

class CSegmentationFileTest : public ::testing::Test
{
protected:
    CSegmentationFileTest() : folder(fs::temp_directory_path() / ("seg-test-" + std::to_string(::getpid())))
    {
        fs::create_directories(folder);
        fixture.load(5, 4, 3);
        tLabels before(60);
        for (std::size_t i = 0; i < before.size(); ++i)
            before[i] = std::uint16_t(i % 3 == 0 ? 1 : 0);
        fixture.setLabels(before);
    }
    ~CSegmentationFileTest() override { fs::remove_all(folder); }

    std::string write(const std::string& name, const tBytes& bytes)
    {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return path;
    }
    static tBytes read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return tBytes(std::istreambuf_iterator<char>(in), {});
    }

    struct CState
    {
        tLabels labels;
        std::vector<CRegion> table;
        int active;
        std::size_t undo;
        bool operator==(const CState&) const = default;
    };
    CState state()
    {
        CState s{fixture.labels(), {}, 0, fixture.undoCount()};
        auto coloring = fixture.coloring();
        for (int i = 0; i < coloring->getCount(); ++i)
        {
            const auto c = coloring->getColor(i);
            s.table.push_back({c.red, c.green, c.blue, c.alpha, coloring->isVisible(i), coloring->getName(i)});
        }
        s.active = coloring->getActive();
        return s;
    }

    EResult load(const std::string& path) { return CSegmentationFile(*fixture.storage).load(path); }

    CTolvaneFixture fixture;
    fs::path folder;
};

bool operator==(const CRegion& a, const CRegion& b)
{
    return std::tie(a.r, a.g, a.b, a.a, a.visible, a.name) == std::tie(b.r, b.g, b.b, b.a, b.visible, b.name);
}

} // namespace

TEST_F(CSegmentationFileTest, GoldenFileLoadsExactlyAndUndoBringsTheLabelsBack)
{
    CGolden g = golden();
    const CState before = state();
    fixture.countAnnouncements();
    ASSERT_EQ(load(write("golden.seg", g.build())), EResult::DONE);
    const CState after = state();
    EXPECT_EQ(after.labels, g.labels);
    EXPECT_EQ(after.table, g.table);
    EXPECT_EQ(after.active, 2);
    EXPECT_EQ(fixture.coloring()->getRandomState(), 99u);
    EXPECT_EQ(after.undo, before.undo + 1);
    EXPECT_EQ(fixture.announcements.counts[501], 1);
    EXPECT_EQ(fixture.announcements.counts[502], 1);
    ASSERT_TRUE(fixture.host.undo());
    EXPECT_EQ(fixture.labels(), before.labels);
}

TEST_F(CSegmentationFileTest, TruncatedOrDamagedFilesLoadWholeOrChangeNothing)
{
    CGolden g = golden();
    const tBytes good = g.build();
    const CState before = state();
    ASSERT_EQ(load(write("good.seg", good)), EResult::DONE);
    const CState full = state();
    ASSERT_TRUE(fixture.host.undo());
    // Undo restores the labels; the table is put back by hand for the comparisons.
    auto restore = [&]() {
        fixture.setLabels(before.labels);
        auto coloring = fixture.coloring();
        coloring->reset();
    };
    restore();

    // Each variant with the bytes it changed (none listed: cut short).
    std::vector<std::pair<tBytes, std::vector<std::size_t>>> variants;
    for (std::size_t cut = 0; cut < good.size(); cut += 64)
        variants.emplace_back(tBytes(good.begin(), good.begin() + std::ptrdiff_t(cut)), std::vector<std::size_t>{});
    std::mt19937 random(2024);
    for (int i = 0; i < 600; ++i)
    {
        tBytes damaged = good;
        std::vector<std::size_t> changed{random() % good.size()};
        damaged[changed[0]] = char(damaged[changed[0]] ^ (1 + random() % 255));
        for (int k = 0; i % 3 == 0 && k < 4; ++k) // a few more bytes elsewhere
        {
            changed.push_back(random() % good.size());
            damaged[changed.back()] = char(random());
        }
        variants.emplace_back(damaged, changed);
    }
    int loaded = 0, refused = 0;
    for (std::size_t v = 0; v < variants.size(); ++v)
    {
        const std::size_t undoBefore = fixture.undoCount();
        const EResult result = load(write("variant.seg", variants[v].first));
        const CState now = state();
        if (result == EResult::FAILED)
        {
            ++refused;
            EXPECT_EQ(now.labels, before.labels) << "variant " << v;
            EXPECT_EQ(now.table, before.table) << "variant " << v;
            EXPECT_EQ(now.undo, undoBefore) << "variant " << v;
            continue;
        }
        ++loaded;
        ASSERT_EQ(result, EResult::DONE);
        // A loading variant is the golden file itself, or one whose entry count now names
        // the volume alone (the colouring block is then skipped) or nothing at all.
        const bool whole = now.labels == full.labels && now.table == full.table;
        bool countChanged = false;
        for (const std::size_t at : variants[v].second)
            countChanged = countChanged || (at >= g.countOffset && at < g.countOffset + 4);
        EXPECT_TRUE(whole || countChanged) << "variant " << v;
        if (now.undo > undoBefore)
            fixture.host.undo();
        restore();
    }
    // Most of the file is the zero tails of five 256-byte headers, which carry nothing.
    EXPECT_GT(refused, 200);
    EXPECT_GT(loaded, 100);
}

TEST_F(CSegmentationFileTest, RefusedListsAndSizesChangeNothing)
{
    struct CCase
    {
        const char* what;
        std::vector<std::uint32_t> list;
        int x, y, z;
    };
    for (const CCase& c : std::vector<CCase>{{"volume twice", {501, 501}, 5, 4, 3},
                                             {"undo history", {501, 502, 557}, 5, 4, 3},
                                             {"density entry", {11}, 5, 4, 3},
                                             {"colouring twice", {502, 502}, 5, 4, 3},
                                             {"other size", {501, 502}, 5, 4, 4},
                                             {"other slices", {501, 502}, 4, 5, 3}})
    {
        SCOPED_TRACE(c.what);
        CGolden g = golden();
        g.list = c.list;
        g.x = c.x, g.y = c.y, g.z = c.z;
        g.labels.assign(std::size_t(c.x * c.y * c.z), 1);
        const CState before = state();
        EXPECT_EQ(load(write("refused.seg", g.build())), EResult::FAILED);
        EXPECT_EQ(state(), before);
    }
}

TEST_F(CSegmentationFileTest, TableCoversEveryLabelAfterAnyLoad)
{
    // Only the colouring, with fewer rows than the labels in the volume need.
    fixture.setLabels(tLabels(60, 15));
    CGolden g = golden();
    g.list = {502};
    ASSERT_EQ(load(write("table.seg", g.build())), EResult::DONE);
    CState now = state();
    EXPECT_EQ(now.labels, tLabels(60, 15));
    ASSERT_EQ(now.table.size(), 16u);
    EXPECT_TRUE(std::equal(g.table.begin(), g.table.end(), now.table.begin()));
    EXPECT_EQ(now.table[15].name, "Unnamed");
    EXPECT_EQ(now.active, 2);

    // Only the volume, with labels beyond the table.
    fixture.coloring()->reset();
    g = golden();
    g.list = {501};
    g.labels[59] = 40;
    ASSERT_EQ(load(write("labels.seg", g.build())), EResult::DONE);
    now = state();
    EXPECT_EQ(now.labels, g.labels);
    EXPECT_EQ(now.table.size(), 41u);
    EXPECT_EQ(now.table[3].name, "Region 3");
}

TEST_F(CSegmentationFileTest, SaveRoundTripsAndFailedOrCancelledSavesKeepTheOldFile)
{
    CSegmentationFile file(*fixture.storage);
    fixture.coloring()->setName(1, "Kidney");
    const CState saved = state();
    const std::string path = (folder / "work.seg").string();
    ASSERT_EQ(file.save(path), EResult::DONE);
    const tBytes bytes = read(path);
    ASSERT_GT(bytes.size(), 512u);
    EXPECT_EQ(tBytes(bytes.begin(), bytes.begin() + 8), (tBytes{'K', 'V', 'O', 0, 51, 0, 0, 0}));
    EXPECT_EQ(std::string(bytes.end() - 256, bytes.end() - 243), "TerminalBlock");

    fs::permissions(path, fs::perms(0640));
    fixture.setLabels(tLabels(60, 2));
    fixture.coloring()->setName(1, "Changed");
    // Cancelled after the first entry, and failing onto a folder: the file stays as it was.
    EXPECT_EQ(file.save(path, [](int, int) { return false; }), EResult::CANCELLED);
    EXPECT_EQ(read(path), bytes);
    EXPECT_EQ(file.save(folder.string()), EResult::FAILED);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0640));
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        entries += entry.path().filename().string().rfind(".work.seg", 0) == 0 ? 100 : 1;
    EXPECT_EQ(entries, 1); // no temporary file left behind

    // A cancelled load changes nothing; a whole one brings the saved state back.
    const CState changed = state();
    EXPECT_EQ(file.load(path, [](int, int) { return false; }), EResult::CANCELLED);
    EXPECT_EQ(state(), changed);
    ASSERT_EQ(file.load(path), EResult::DONE);
    CState back = state();
    EXPECT_EQ(back.labels, saved.labels);
    EXPECT_EQ(back.table, saved.table);

    // A save over the loaded file keeps its permission bits.
    fixture.setLabels(tLabels(60, 1));
    ASSERT_EQ(file.save(path), EResult::DONE);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(load(path), EResult::DONE);
    EXPECT_EQ(fixture.labels(), tLabels(60, 1));
    EXPECT_EQ(load((folder / "missing.seg").string()), EResult::FAILED);
    EXPECT_EQ(load(write("empty.seg", {})), EResult::FAILED);
}
