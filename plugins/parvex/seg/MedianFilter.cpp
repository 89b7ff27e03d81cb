#include "plugins/parvex/seg/MedianFilter.h"

#include "data/CRegionData.h"
#include "toolkit/img/CVolumeMedianFilter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <bit>
#include <cstddef>
#include <cstring>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

// The vector kernels are templates over the vector type: on x86-64 they are compiled for
// AVX2 with 32-byte vectors and for the baseline with 16-byte ones (wider vectors than the
// processor's are split badly, compares one lane at a time), and the run picks by the
// processor. Elsewhere the 16-byte version serves.
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define MEDIAN_HAS_AVX2_KERNELS 1
#define MEDIAN_AVX2_KERNEL __attribute__((target("avx2"), flatten))
#endif
#if defined(__GNUC__) || defined(__clang__)
#define MEDIAN_KERNEL __attribute__((flatten))
// The vector helpers are internal and inlined into the kernels; the note that 32-byte
// vectors pass differently without AVX concerns calls between objects only.
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define MEDIAN_KERNEL
#endif

namespace seg {

namespace {

using tLabels = kvo::img::CVolume<std::uint16_t>;

constexpr int MAX_THREADS = 8;
// Below this many voxels per slice the hand-over to the workers costs more than it saves
// (when the caller leaves the thread count to the filter).
constexpr std::int64_t MIN_VOXELS_PER_THREADED_SLICE = 16 * 1024;
// COUNTING keeps 2 bytes per slice voxel and threshold; above this it is not chosen.
constexpr std::size_t COUNTING_MEMORY_LIMIT = std::size_t(256) << 20;
// Counts of at most s³ must fit the 16-bit lanes.
constexpr std::int32_t COUNTING_MAX_SIZE = 40;
// AUTOMATIC compares the time per voxel of the two methods when no threshold is skipped
// (bench_median's method comparison, 1 thread): COUNTING about (40 + 3 s) / 100 ns per
// threshold, HISTOGRAM about 5 s² + 5 ns. Skipped thresholds only make COUNTING cheaper.
bool countingIsCheaper(std::int64_t thresholds, std::int64_t size)
{
    return thresholds * (40 + 3 * size) <= 500 * size * size + 500;
}

// ---------------------------------------------------------------------------------------
// Vector helpers over 16-bit lanes: tWide (16 lanes, one AVX2 register) or tNarrow (8 lanes,
// one SSE2 register). Arithmetic is unsigned and wraps, so differences of counts may pass
// through "negative" values. Rows of counts are padded to whole tWide vectors.

using tWide = std::uint16_t __attribute__((vector_size(32)));
using tNarrow = std::uint16_t __attribute__((vector_size(16)));
constexpr std::int32_t MAX_LANES = 16;
// Up to this many live thresholds the labels are picked by vector selects.
constexpr std::int32_t MAX_SELECTS = 16;

template <class V>
constexpr std::int32_t LANE_COUNT = static_cast<std::int32_t>(sizeof(V) / sizeof(std::uint16_t));

template <class V>
inline V load(const std::uint16_t* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
inline void store(std::uint16_t* p, const V& v)
{
    std::memcpy(p, &v, sizeof v);
}

template <class V>
inline V splat(std::uint16_t value)
{
    return V{} + value;
}

//! All ones in the lanes where value <= limit, else 0.
template <class V>
inline V atOrBelow(const V& value, const V& limit)
{
    return (V)(value <= limit);
}

template <class V>
inline bool allZero(const V& value)
{
    std::uint64_t parts[sizeof(V) / sizeof(std::uint64_t)];
    std::memcpy(parts, &value, sizeof parts);
    std::uint64_t any = 0;
    for (std::uint64_t part : parts)
        any |= part;
    return any == 0;
}

std::int32_t roundUp(std::int32_t value, std::int32_t step) { return (value + step - 1) / step * step; }

// ---------------------------------------------------------------------------------------
// The window and the working region.

struct CWindow
{
    std::int32_t size = 0; // s
    std::int32_t low = 0;  // s / 2: reach towards lower coordinates
    std::int32_t high = 0; // s - 1 - low: reach towards higher ones
    std::int32_t rank = 0; // floor(s³ / 2)
    std::int32_t xSize = 0, ySize = 0, zSize = 0;

    //! Voxels along x that one row of windows reads, from x = -low on.
    std::int32_t reachX() const { return xSize + size - 1; }
    std::int32_t reachY() const { return ySize + size - 1; }
    std::int32_t reachZ() const { return zSize + size - 1; }
};

// ---------------------------------------------------------------------------------------
// Threads that share units of work: run() hands the units [0, count) out one at a time to
// the calling thread (worker 0) and the pool's threads (workers 1 ...) and returns when
// all are done. Between two runs the pool's threads wait at the barrier.

class CWorkers
{
public:
    explicit CWorkers(int threads) : m_sync(threads)
    {
        try
        {
            m_threads.reserve(std::size_t(threads - 1));
            for (int worker = 1; worker < threads; ++worker)
                m_threads.emplace_back([this, worker] { serve(worker); });
        }
        catch (...)
        {
            // No more threads to be had: the missing ones leave the barrier and their units
            // fall to the others.
            for (int missing = static_cast<int>(m_threads.size()) + 1; missing < threads; ++missing)
                m_sync.arrive_and_drop();
        }
    }

    ~CWorkers()
    {
        if (m_threads.empty())
            return;
        m_stop = true;
        m_sync.arrive_and_wait();
        for (std::thread& thread : m_threads)
            thread.join();
    }

    CWorkers(const CWorkers&) = delete;
    CWorkers& operator=(const CWorkers&) = delete;

    //! The threads taking part, the calling one included.
    int count() const { return static_cast<int>(m_threads.size()) + 1; }

    //! Calls job(unit, worker) for every unit of [0, units); the jobs must not throw.
    template <class Job>
    void run(std::int32_t units, const Job& job)
    {
        m_job = &job;
        m_call = [](const void* function, std::int32_t unit, int worker) {
            (*static_cast<const Job*>(function))(unit, worker);
        };
        m_units = units;
        m_next.store(0, std::memory_order_relaxed);
        if (m_threads.empty())
        {
            drain(0);
            return;
        }
        m_sync.arrive_and_wait(); // start
        drain(0);
        m_sync.arrive_and_wait(); // all units done
    }

private:
    void serve(int worker)
    {
        for (;;)
        {
            m_sync.arrive_and_wait();
            if (m_stop)
                return;
            drain(worker);
            m_sync.arrive_and_wait();
        }
    }

    void drain(int worker)
    {
        for (std::int32_t unit = m_next.fetch_add(1, std::memory_order_relaxed); unit < m_units;
             unit = m_next.fetch_add(1, std::memory_order_relaxed))
            m_call(m_job, unit, worker);
    }

    std::barrier<> m_sync;
    std::vector<std::thread> m_threads;
    // Written by the calling thread before the start barrier, read by the workers after it.
    const void* m_job = nullptr;
    void (*m_call)(const void*, std::int32_t, int) = nullptr;
    std::int32_t m_units = 0;
    bool m_stop = false;
    std::atomic<std::int32_t> m_next{0};
};

// ---------------------------------------------------------------------------------------
// Survey of what the windows can read: the distinct labels (ascending) and the smallest and
// largest label of every row of the reach, the rows y = -low .. Y + high - 1 of the slices
// z = -low .. Z + high - 1, each from x = -low over reachX voxels.

struct CSurvey
{
    std::vector<std::uint16_t> labels;
    std::int32_t low = 0;
    std::int32_t rowsPerSlice = 0;
    std::vector<std::uint16_t> rowMin;
    std::vector<std::uint16_t> rowMax;

    std::size_t row(std::int32_t y, std::int32_t z) const
    {
        return std::size_t(z + low) * std::size_t(rowsPerSlice) + std::size_t(y + low);
    }

    //! Smallest and largest label of the rows [yBegin, yEnd) of the slices [zBegin, zEnd].
    void range(std::int32_t yBegin, std::int32_t yEnd, std::int32_t zBegin, std::int32_t zEnd,
               std::uint16_t& minimum, std::uint16_t& maximum) const
    {
        std::uint16_t smallest = 0xffff, largest = 0;
        for (std::int32_t z = zBegin; z <= zEnd; ++z)
        {
            const std::size_t first = row(yBegin, z);
            const std::size_t last = first + std::size_t(yEnd - yBegin);
            smallest = std::min(smallest, *std::min_element(rowMin.begin() + first, rowMin.begin() + last));
            largest = std::max(largest, *std::max_element(rowMax.begin() + first, rowMax.begin() + last));
        }
        minimum = smallest;
        maximum = largest;
    }
};

using tPresence = std::array<std::uint64_t, 65536 / 64>;

// Range of one row, and its labels marked in `present`. Marking goes voxel by voxel, so it
// is skipped when every label of the row's range is marked already (the usual case after
// the first rows of a label volume), and else passes over whole vectors that continue the
// current run.
template <class V>
inline void surveyRowWith(const std::uint16_t* row, std::int32_t count, std::uint64_t* present,
                          std::uint16_t& minimum, std::uint16_t& maximum)
{
    constexpr std::int32_t LANES = LANE_COUNT<V>;
    V smallestLanes = splat<V>(row[0]), largestLanes = splat<V>(row[0]);
    std::int32_t x = 0;
    for (; x + LANES <= count; x += LANES)
    {
        const V values = load<V>(row + x);
        smallestLanes = values < smallestLanes ? values : smallestLanes;
        largestLanes = values > largestLanes ? values : largestLanes;
    }
    std::uint16_t smallest = row[0], largest = row[0];
    for (std::int32_t i = 0; i < LANES; ++i)
    {
        smallest = std::min<std::uint16_t>(smallest, smallestLanes[i]);
        largest = std::max<std::uint16_t>(largest, largestLanes[i]);
    }
    for (; x < count; ++x)
    {
        smallest = std::min(smallest, row[x]);
        largest = std::max(largest, row[x]);
    }
    minimum = smallest;
    maximum = largest;

    bool allMarked = true;
    for (std::uint32_t label = smallest; label <= largest && allMarked;)
    {
        const std::uint32_t word = label >> 6;
        const std::uint32_t last = std::min<std::uint32_t>(largest, word * 64 + 63);
        const std::uint32_t bits = last - label + 1;
        const std::uint64_t ones = bits == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << bits) - 1;
        const std::uint64_t wanted = ones << (label & 63);
        allMarked = (present[word] & wanted) == wanted;
        label = last + 1;
    }
    if (allMarked)
        return;

    std::uint16_t previous = row[0];
    present[previous >> 6] |= std::uint64_t(1) << (previous & 63);
    const auto visit = [&](std::uint16_t value) {
        if (value == previous)
            return;
        previous = value;
        present[value >> 6] |= std::uint64_t(1) << (value & 63);
    };
    x = 1;
    for (; x + LANES <= count; x += LANES)
    {
        if (allZero<V>(load<V>(row + x) ^ splat<V>(previous)))
            continue;
        for (std::int32_t i = 0; i < LANES; ++i)
            visit(row[x + i]);
    }
    for (; x < count; ++x)
        visit(row[x]);
}

#ifdef MEDIAN_HAS_AVX2_KERNELS
MEDIAN_AVX2_KERNEL void surveyRowAvx2(const std::uint16_t* row, std::int32_t count, std::uint64_t* present,
                                      std::uint16_t& minimum, std::uint16_t& maximum)
{
    surveyRowWith<tWide>(row, count, present, minimum, maximum);
}
#endif

MEDIAN_KERNEL void surveyRowBaseline(const std::uint16_t* row, std::int32_t count, std::uint64_t* present,
                                     std::uint16_t& minimum, std::uint16_t& maximum)
{
    surveyRowWith<tNarrow>(row, count, present, minimum, maximum);
}

bool hasAvx2()
{
#ifdef MEDIAN_HAS_AVX2_KERNELS
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

CSurvey survey(const tLabels& source, const CWindow& window, CWorkers& workers)
{
    CSurvey result;
    result.low = window.low;
    result.rowsPerSlice = window.reachY();
    const std::size_t rows = std::size_t(window.reachY()) * std::size_t(window.reachZ());
    result.rowMin.resize(rows);
    result.rowMax.resize(rows);
    std::vector<tPresence> present(std::size_t(workers.count()), tPresence{});
    [[maybe_unused]] const bool avx2 = hasAvx2();
    workers.run(window.reachZ(), [&](std::int32_t unit, int worker) {
        const std::int32_t z = unit - window.low;
        for (std::int32_t y = -window.low; y < window.ySize + window.high; ++y)
        {
            const std::size_t index = result.row(y, z);
            const std::uint16_t* row = source.getPtr(-window.low, y, z);
            std::uint64_t* marks = present[std::size_t(worker)].data();
#ifdef MEDIAN_HAS_AVX2_KERNELS
            if (avx2)
            {
                surveyRowAvx2(row, window.reachX(), marks, result.rowMin[index], result.rowMax[index]);
                continue;
            }
#endif
            surveyRowBaseline(row, window.reachX(), marks, result.rowMin[index], result.rowMax[index]);
        }
    });
    for (std::size_t word = 0; word < present[0].size(); ++word)
    {
        std::uint64_t bits = 0;
        for (const tPresence& part : present)
            bits |= part[word];
        for (; bits; bits &= bits - 1)
            result.labels.push_back(static_cast<std::uint16_t>(word * 64 + std::size_t(std::countr_zero(bits))));
    }
    return result;
}

// ---------------------------------------------------------------------------------------
// COUNTING. With the labels present l0 < l1 < ... < lL-1, the window's value of rank k is
// l_m with m the number of thresholds t < L - 1 at which at most k window voxels are <= l_t.
// For each threshold the count is a 3D box sum of (voxel <= l_t): kept per voxel of the
// slice and carried from slice to slice by adding the 2D box sums (y, then x) of the plane
// entering the window minus those of the plane leaving it.
//
// The rows of a slice are cut into bands, the units of work. For a band, only thresholds
// between the smallest and largest label within reach of its windows can be crossed;
// below them every count is 0, above them s³. Such thresholds are skipped, their state
// noted, and their counts filled in when they come within reach again. Likewise a
// threshold that no voxel of the entering or leaving plane crosses keeps its counts.

enum class ECounts : std::uint8_t
{
    UNSET,   // nothing counted yet (before the first slice)
    CARRIED, // the counts of the previous slice's windows
    ZERO,    // every count is 0: the threshold lies below every label within reach
    FULL,    // every count is s³: no label within reach lies above the threshold
};

struct CCounting
{
    const tLabels* source;
    tLabels* destination;
    CWindow window;
    const CSurvey* survey;
    std::int32_t thresholds; // L - 1
    std::int32_t bandRows;
    std::int32_t bands;
    std::int32_t stride; // elements per count row: xSize rounded up to MAX_LANES
    std::uint16_t* counts; // [band][threshold][row][stride]
    ECounts* states; // [band][threshold]

    std::uint16_t* plane(std::int32_t band, std::int32_t threshold) const
    {
        return counts + (std::size_t(band) * std::size_t(thresholds) + std::size_t(threshold)) *
                            std::size_t(bandRows) * std::size_t(stride);
    }
};

struct CCountingScratch
{
    std::vector<std::uint16_t> columnSums; // box sums along y over the reach of a row
    std::vector<std::uint16_t> below;      // per voxel of the band: thresholds passed
};

// columnSums += (enter <= limit) - (leave <= limit) over n voxels, and with SLIDE also
// - ((enterOut <= limit) - (leaveOut <= limit)). Without LEAVE the leaving rows are absent.
template <class V, bool LEAVE, bool SLIDE>
inline void sumColumns(std::uint16_t* columnSums, std::int32_t n, std::uint16_t limit, const std::uint16_t* enter,
                       const std::uint16_t* leave, const std::uint16_t* enterOut, const std::uint16_t* leaveOut)
{
    // Masks are all ones (-1) where a voxel is at or below the limit: adding the leaving
    // mask and subtracting the entering one adds (enter <= limit) - (leave <= limit).
    constexpr std::int32_t LANES = LANE_COUNT<V>;
    const V limits = splat<V>(limit);
    std::int32_t x = 0;
    for (; x + LANES <= n; x += LANES)
    {
        V sum = load<V>(columnSums + x) - atOrBelow<V>(load<V>(enter + x), limits);
        if constexpr (LEAVE)
            sum += atOrBelow<V>(load<V>(leave + x), limits);
        if constexpr (SLIDE)
        {
            sum += atOrBelow<V>(load<V>(enterOut + x), limits);
            if constexpr (LEAVE)
                sum -= atOrBelow<V>(load<V>(leaveOut + x), limits);
        }
        store<V>(columnSums + x, sum);
    }
    for (; x < n; ++x)
    {
        int change = enter[x] <= limit;
        if constexpr (LEAVE)
            change -= leave[x] <= limit;
        if constexpr (SLIDE)
        {
            change -= enterOut[x] <= limit;
            if constexpr (LEAVE)
                change += leaveOut[x] <= limit;
        }
        columnSums[x] = static_cast<std::uint16_t>(columnSums[x] + change);
    }
}

// counts[x] += sum of columnSums[x .. x + size - 1] for x < n (whole vectors: the count
// rows and the column sums are padded for them).
template <class V, std::int32_t SIZE>
inline void sumRow(std::uint16_t* counts, const std::uint16_t* columnSums, std::int32_t n, std::int32_t size)
{
    const std::int32_t s = SIZE > 0 ? SIZE : size;
    for (std::int32_t x = 0; x < n; x += LANE_COUNT<V>)
    {
        V sum = load<V>(columnSums + x);
        for (std::int32_t i = 1; i < s; ++i)
            sum += load<V>(columnSums + x + i);
        store<V>(counts + x, load<V>(counts + x) + sum);
    }
}

// Adds to the counts of the band's rows [y0, y1) the 2D box sums of (voxel <= limit) in the
// slice `enter` minus those in the slice `leave` (without LEAVE: of `enter` alone).
template <class V, bool LEAVE>
inline void addBoxSums(const CCounting& job, CCountingScratch& scratch, std::int32_t enter, std::int32_t leave,
                       std::uint16_t limit, std::int32_t y0, std::int32_t y1, std::uint16_t* counts)
{
    const CWindow& w = job.window;
    const tLabels& source = *job.source;
    std::uint16_t* columnSums = scratch.columnSums.data();
    const std::int32_t n = w.reachX();
    const auto enterRow = [&](std::int32_t y) { return source.getPtr(-w.low, y, enter); };
    const auto leaveRow = [&](std::int32_t y) { return LEAVE ? source.getPtr(-w.low, y, leave) : nullptr; };

    std::fill(scratch.columnSums.begin(), scratch.columnSums.end(), std::uint16_t(0));
    for (std::int32_t y = y0 - w.low; y <= y0 + w.high; ++y)
        sumColumns<V, LEAVE, false>(columnSums, n, limit, enterRow(y), leaveRow(y), nullptr, nullptr);
    for (std::int32_t y = y0; y < y1; ++y)
    {
        if (y > y0)
            sumColumns<V, LEAVE, true>(columnSums, n, limit, enterRow(y + w.high), leaveRow(y + w.high),
                                       enterRow(y - w.low - 1), leaveRow(y - w.low - 1));
        std::uint16_t* row = counts + std::size_t(y - y0) * std::size_t(job.stride);
        switch (w.size)
        {
        case 3: sumRow<V, 3>(row, columnSums, w.xSize, 3); break;
        case 5: sumRow<V, 5>(row, columnSums, w.xSize, 5); break;
        default: sumRow<V, 0>(row, columnSums, w.xSize, w.size); break;
        }
    }
}

// One band of rows of slice z.
template <class V>
inline void countBandWith(const CCounting& job, CCountingScratch& scratch, std::int32_t band, std::int32_t z)
{
    constexpr std::int32_t LANES = LANE_COUNT<V>;
    const CWindow& w = job.window;
    const CSurvey& survey = *job.survey;
    const std::uint16_t* labels = survey.labels.data();
    const std::int32_t y0 = band * job.bandRows;
    const std::int32_t y1 = std::min(y0 + job.bandRows, w.ySize);
    const std::int32_t rows = y1 - y0;
    const std::size_t rowCount = std::size_t(rows) * std::size_t(job.stride);

    // Thresholds [live, end) lie within the labels the band's windows reach.
    std::uint16_t smallest, largest;
    survey.range(y0 - w.low, y1 + w.high, z - w.low, z + w.high, smallest, largest);
    const std::uint16_t* thresholdEnd = labels + job.thresholds;
    const std::int32_t live = static_cast<std::int32_t>(std::lower_bound(labels, thresholdEnd, smallest) - labels);
    const std::int32_t end = static_cast<std::int32_t>(std::lower_bound(labels, thresholdEnd, largest) - labels);
    ECounts* states = job.states + std::size_t(band) * std::size_t(job.thresholds);
    std::fill(states, states + live, ECounts::ZERO);
    std::fill(states + end, states + job.thresholds, ECounts::FULL);

    // Labels of the planes that enter and leave the windows (slices after the first).
    std::uint16_t changeSmallest = 0, changeLargest = 0;
    if (z > 0 && live < end)
    {
        std::uint16_t leaveSmallest, leaveLargest;
        survey.range(y0 - w.low, y1 + w.high, z + w.high, z + w.high, changeSmallest, changeLargest);
        survey.range(y0 - w.low, y1 + w.high, z - w.low - 1, z - w.low - 1, leaveSmallest, leaveLargest);
        changeSmallest = std::min(changeSmallest, leaveSmallest);
        changeLargest = std::max(changeLargest, leaveLargest);
    }

    std::uint16_t* below = scratch.below.data();
    std::fill(below, below + rowCount, std::uint16_t(0));
    const V rank = splat<V>(static_cast<std::uint16_t>(w.rank));
    const auto full = static_cast<std::uint16_t>(w.size * w.size * w.size);
    for (std::int32_t t = live; t < end; ++t)
    {
        const std::uint16_t limit = labels[t];
        std::uint16_t* counts = job.plane(band, t);
        if (states[t] == ECounts::UNSET)
        {
            std::fill(counts, counts + rowCount, std::uint16_t(0));
            for (std::int32_t slice = z - w.low; slice <= z + w.high; ++slice)
                addBoxSums<V, false>(job, scratch, slice, 0, limit, y0, y1, counts);
        }
        else
        {
            if (states[t] != ECounts::CARRIED)
                std::fill(counts, counts + rowCount, states[t] == ECounts::ZERO ? std::uint16_t(0) : full);
            if (changeSmallest <= limit && limit < changeLargest)
                addBoxSums<V, true>(job, scratch, z + w.high, z - w.low - 1, limit, y0, y1, counts);
        }
        states[t] = ECounts::CARRIED;
        for (std::size_t i = 0; i < rowCount; i += LANES)
            store<V>(below + i, load<V>(below + i) - atOrBelow<V>(load<V>(counts + i), rank));
    }

    // The label of each voxel: the first live one plus the live thresholds passed. With few
    // live thresholds a chain of vector selects beats a lookup per voxel.
    const std::uint16_t* first = labels + live;
    const std::int32_t liveCount = end - live;
    V firstLabels[MAX_SELECTS + 1], steps[MAX_SELECTS + 1];
    for (std::int32_t step = 0; step <= std::min(liveCount, MAX_SELECTS); ++step)
    {
        firstLabels[step] = splat<V>(first[step]);
        steps[step] = splat<V>(static_cast<std::uint16_t>(step));
    }
    for (std::int32_t y = y0; y < y1; ++y)
    {
        std::uint16_t* out = job.destination->getRowPtr(y, z);
        const std::uint16_t* passed = below + std::size_t(y - y0) * std::size_t(job.stride);
        std::int32_t x = 0;
        if (liveCount <= MAX_SELECTS)
            for (; x + LANES <= w.xSize; x += LANES)
            {
                const V count = load<V>(passed + x);
                V result = firstLabels[0];
                for (std::int32_t step = 1; step <= liveCount; ++step)
                    result = count >= steps[step] ? firstLabels[step] : result;
                store<V>(out + x, result);
            }
        for (; x < w.xSize; ++x)
            out[x] = first[passed[x]];
    }
}

#ifdef MEDIAN_HAS_AVX2_KERNELS
MEDIAN_AVX2_KERNEL void countBandAvx2(const CCounting& job, CCountingScratch& scratch, std::int32_t band,
                                      std::int32_t z)
{
    countBandWith<tWide>(job, scratch, band, z);
}
#endif

MEDIAN_KERNEL void countBandBaseline(const CCounting& job, CCountingScratch& scratch, std::int32_t band,
                                     std::int32_t z)
{
    countBandWith<tNarrow>(job, scratch, band, z);
}

// ---------------------------------------------------------------------------------------
// HISTOGRAM. Labels are numbered in ascending order; the histogram counts window voxels per
// number, plus per bucket of 2^shift numbers so that the median's search steps over empty
// stretches. The median m is carried along the row with `under`, the number of window
// voxels whose number is below m.

struct CHistogram
{
    const tLabels* source;
    tLabels* destination;
    CWindow window;
    const CSurvey* survey;
    const std::uint16_t* numberOf; // label -> number, 65536 entries
    std::int32_t shift;
};

struct CHistogramScratch
{
    std::vector<std::int32_t> counts;
    std::vector<std::int32_t> buckets;
};

void histogramRow(const CHistogram& job, CHistogramScratch& scratch, std::int32_t y, std::int32_t z)
{
    const CWindow& w = job.window;
    const std::uint16_t* labels = job.survey->labels.data();
    std::uint16_t* out = job.destination->getRowPtr(y, z);

    // A reach of one label: nothing to count.
    std::uint16_t smallest, largest;
    job.survey->range(y - w.low, y + w.high + 1, z - w.low, z + w.high, smallest, largest);
    if (smallest == largest)
    {
        std::fill(out, out + w.xSize, smallest);
        return;
    }

    const tLabels& source = *job.source;
    const std::uint16_t* numberOf = job.numberOf;
    std::int32_t* counts = scratch.counts.data();
    std::int32_t* buckets = scratch.buckets.data();
    const std::int32_t shift = job.shift;
    const std::int32_t bucketSize = 1 << shift;
    const std::int32_t rank = w.rank;
    const std::ptrdiff_t yOffset = source.getYOffset();
    const std::ptrdiff_t zOffset = source.getZOffset();
    // Voxel (x, -low, -low) of the window rows of (y, z): the yz plane at x.
    const std::uint16_t* corner = source.getPtr(0, y - w.low, z - w.low);

    std::int32_t median = 0;
    std::int32_t under = 0;
    const auto add = [&](std::uint16_t label, std::int32_t step) {
        const std::int32_t number = numberOf[label];
        counts[number] += step;
        buckets[number >> shift] += step;
        if (number < median)
            under += step;
    };
    const auto addPlane = [&](std::int32_t x, std::int32_t step) {
        for (std::int32_t dz = 0; dz < w.size; ++dz)
            for (std::int32_t dy = 0; dy < w.size; ++dy)
                add(corner[x + dy * yOffset + dz * zOffset], step);
    };
    const auto findMedian = [&] {
        while (under > rank)
        {
            if ((median & (bucketSize - 1)) == 0 && under - buckets[(median >> shift) - 1] > rank)
            {
                median -= bucketSize;
                under -= buckets[median >> shift];
                continue;
            }
            --median;
            under -= counts[median];
        }
        while (under + counts[median] <= rank)
        {
            if ((median & (bucketSize - 1)) == 0 && under + buckets[median >> shift] <= rank)
            {
                under += buckets[median >> shift];
                median += bucketSize;
                continue;
            }
            under += counts[median];
            ++median;
        }
    };

    for (std::int32_t x = -w.low; x <= w.high; ++x)
        addPlane(x, 1);
    findMedian();
    out[0] = labels[median];
    for (std::int32_t x = 1; x < w.xSize; ++x)
    {
        addPlane(x - w.low - 1, -1);
        addPlane(x + w.high, 1);
        findMedian();
        out[x] = labels[median];
    }
    // Empty again for the next row.
    for (std::int32_t x = w.xSize - 1 - w.low; x <= w.xSize - 1 + w.high; ++x)
        addPlane(x, -1);
}

int threadCount(const CMedianOptions& options, const CWindow& window)
{
    if (options.threads > 0)
        return std::min(options.threads, MAX_THREADS);
    if (std::int64_t(window.xSize) * window.ySize < MIN_VOXELS_PER_THREADED_SLICE)
        return 1;
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, MAX_THREADS);
}

} // namespace

bool medianFilter(const kvo::img::CVolume<std::uint16_t>& source, kvo::img::CVolume<std::uint16_t>& destination,
                  std::int32_t size, const std::function<bool()>& sliceDone, const CMedianOptions& options)
{
    if (size < 1 || size > MEDIAN_MAX_SIZE || source.getMargin() < size / 2)
        return false;

    CWindow window;
    window.size = size;
    window.low = size / 2;
    window.high = size - 1 - window.low;
    window.rank = static_cast<std::int32_t>(std::int64_t(size) * size * size / 2);
    window.xSize = std::min(source.getXSize(), destination.getXSize());
    window.ySize = std::min(source.getYSize(), destination.getYSize());
    window.zSize = std::min(source.getZSize(), destination.getZSize());
    const auto slicesDone = [&] { return !sliceDone || sliceDone(); };
    if (window.xSize == 0 || window.ySize == 0)
    {
        for (std::int32_t z = 0; z < window.zSize; ++z)
            if (!slicesDone())
                return false;
        return true;
    }
    if (window.zSize == 0)
        return true;

    // The destination is written while windows still read the source: a shared buffer is
    // read from a copy.
    std::optional<tLabels> copy;
    if (source.getBlock() == destination.getBlock())
        copy.emplace(source);
    const tLabels& input = copy ? *copy : source;

    [[maybe_unused]] const bool avx2 = hasAvx2();
    CWorkers workers(threadCount(options, window));
    const CSurvey reach = survey(input, window, workers);
    const std::int32_t thresholds = static_cast<std::int32_t>(reach.labels.size()) - 1;

    // COUNTING: bands of about two window heights keep the start-up of the column sums
    // (s rows) small beside the two rows per band row that follow.
    CCounting counting{};
    std::vector<std::uint16_t> countStore;
    std::vector<ECounts> stateStore;
    bool useCounting = false;
    if (size <= COUNTING_MAX_SIZE && options.method != CMedianOptions::EMethod::HISTOGRAM)
    {
        counting.bandRows = std::min(std::max(2 * size, 8), window.ySize);
        counting.bands = (window.ySize + counting.bandRows - 1) / counting.bandRows;
        counting.stride = roundUp(window.xSize, MAX_LANES);
        const std::size_t elements = std::size_t(counting.bands) * std::size_t(counting.bandRows) *
                                     std::size_t(counting.stride) * std::size_t(std::max(thresholds, 1));
        const bool cheaper = countingIsCheaper(thresholds, size);
        if ((cheaper || options.method == CMedianOptions::EMethod::COUNTING) &&
            elements * sizeof(std::uint16_t) <= COUNTING_MEMORY_LIMIT)
        {
            try
            {
                countStore.resize(elements);
                stateStore.assign(std::size_t(counting.bands) * std::size_t(std::max(thresholds, 1)),
                                  ECounts::UNSET);
                useCounting = true;
            }
            catch (const std::bad_alloc&)
            {
                countStore = {};
                stateStore = {};
            }
        }
    }

    std::vector<std::uint16_t> numberOf;
    CHistogram histogram{};
    std::vector<CHistogramScratch> histogramScratch;
    std::vector<CCountingScratch> countingScratch;
    if (useCounting)
    {
        counting.source = &input;
        counting.destination = &destination;
        counting.window = window;
        counting.survey = &reach;
        counting.thresholds = thresholds;
        counting.counts = countStore.data();
        counting.states = stateStore.data();
        countingScratch.resize(std::size_t(workers.count()));
        for (CCountingScratch& scratch : countingScratch)
        {
            // Whole-vector reads of the row sums run up to s - 1 + MAX_LANES past the stride.
            scratch.columnSums.assign(std::size_t(counting.stride + size + MAX_LANES), 0);
            scratch.below.assign(std::size_t(counting.bandRows) * std::size_t(counting.stride), 0);
        }
    }
    else
    {
        numberOf.assign(65536, 0);
        for (std::size_t number = 0; number < reach.labels.size(); ++number)
            numberOf[reach.labels[number]] = static_cast<std::uint16_t>(number);
        histogram.source = &input;
        histogram.destination = &destination;
        histogram.window = window;
        histogram.survey = &reach;
        histogram.numberOf = numberOf.data();
        // Buckets of about the square root of the label count: a search crosses at most
        // that many numbers at either end and that many buckets between.
        histogram.shift = std::max(4, (static_cast<int>(std::bit_width(reach.labels.size())) + 1) / 2);
        const std::size_t bucketCount = (reach.labels.size() >> histogram.shift) + 1;
        histogramScratch.resize(std::size_t(workers.count()));
        for (CHistogramScratch& scratch : histogramScratch)
        {
            scratch.counts.assign(bucketCount << histogram.shift, 0);
            scratch.buckets.assign(bucketCount, 0);
        }
    }

    for (std::int32_t z = 0; z < window.zSize; ++z)
    {
        if (useCounting)
            workers.run(counting.bands, [&](std::int32_t band, int worker) {
                CCountingScratch& scratch = countingScratch[std::size_t(worker)];
#ifdef MEDIAN_HAS_AVX2_KERNELS
                if (avx2)
                {
                    countBandAvx2(counting, scratch, band, z);
                    return;
                }
#endif
                countBandBaseline(counting, scratch, band, z);
            });
        else
            workers.run(window.ySize, [&](std::int32_t y, int worker) {
                histogramRow(histogram, histogramScratch[std::size_t(worker)], y, z);
            });
        if (!slicesDone())
            return false;
    }
    return true;
}

} // namespace seg

namespace kvo::img {

// The filter of the panel: all threads of the machine, the method chosen by the labels.
template <class V>
bool CVolumeMedianFilter<V>::operator()(const V& source, V& destination)
{
    static_assert(std::is_same_v<typename V::tVoxel, std::uint16_t>, "the median filter works on 16-bit labels");
    struct CRestoreCallback
    {
        CVolumeMedianFilter& filter;
        ~CRestoreCallback() { filter.restoreDefaultCallback(); }
    } restoreCallback{*this};
    this->beginProgress(std::min(source.getZSize(), destination.getZSize()));
    return seg::medianFilter(source, destination, m_size, [this] { return this->progress(); });
}

template class CVolumeMedianFilter<data::CRegionData>;
template class CVolumeMedianFilter<CVolume<std::uint16_t>>;

} // namespace kvo::img
