#include "plugins/parvex/seg/CBinaryMorphology.h"
#include "plugins/parvex/seg/SliceThreads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace seg {

namespace {

using tLabel = std::uint16_t;
using tMask = std::uint8_t; // 0 or 1
using tLabelVolume = CBinaryMorphology::tLabelVolume;
using tElement = CBinaryMorphology::tElement;

// Both operations read the object as a binary mask m (1: object voxel; 0 elsewhere,
// beyond the volume too) through a window K of reading offsets: the result at p combines
// m(p + k) over k in K. Dilation covers q when some object voxel p has q = p + d for an
// element offset d = e - c, so K = -D and the combination is "any"; erosion keeps p when
// p + d is an object voxel for every d, so K = D and the combination is "all" (0 beyond
// the volume makes an image that leaves the volume fail).

// ---- Row kernels: sixteen mask bytes or eight labels at a time with the compiler's vector
// types (compares give all-ones or all-zero lanes, which select without a branch), the rest
// one by one. Loads and stores go through memcpy: rows have no particular alignment.

using tBytes = std::uint8_t __attribute__((vector_size(16)));
using tHalfBytes = std::uint8_t __attribute__((vector_size(8)));
using tLabels = std::uint16_t __attribute__((vector_size(16)));
constexpr std::int32_t BYTE_LANES = 16;
constexpr std::int32_t LABEL_LANES = 8;
constexpr std::uint8_t ONE = 1;

template <class TVector, class T>
TVector load(const T* from)
{
    TVector value;
    std::memcpy(&value, from, sizeof value);
    return value;
}

template <class TVector, class T>
void store(T* to, const TVector& value)
{
    std::memcpy(to, &value, sizeof value);
}

// Every lane `value`.
template <class TVector, class T>
TVector splat(T value)
{
    TVector lanes;
    for (std::size_t i = 0; i < sizeof(TVector) / sizeof(T); ++i)
        lanes[i] = value;
    return lanes;
}

template <class TVector>
bool anyLane(const TVector& value)
{
    std::uint64_t words[sizeof(TVector) / 8];
    std::memcpy(words, &value, sizeof words);
    std::uint64_t any = 0;
    for (std::uint64_t word : words)
        any |= word;
    return any != 0;
}

// Eight mask bytes widened to label lanes of all ones (1) or zero (0).
tLabels selectLanes(const tMask* mask)
{
    return -__builtin_convertvector(load<tHalfBytes>(mask), tLabels);
}

// mask = (labels == object); whether the row holds the object at all.
bool maskRow(const tLabel* labels, tMask* mask, std::int32_t count, tLabel object)
{
    const tLabels objectLanes = splat<tLabels>(object);
    tLabels seen{};
    std::int32_t x = 0;
    for (; x + LABEL_LANES <= count; x += LABEL_LANES)
    {
        const tLabels hit = (tLabels)(load<tLabels>(labels + x) == objectLanes);
        seen |= hit;
        store(mask + x, __builtin_convertvector(hit, tHalfBytes) & splat<tHalfBytes>(ONE));
    }
    bool any = anyLane(seen);
    for (; x < count; ++x)
    {
        mask[x] = labels[x] == object;
        any |= mask[x] != 0;
    }
    return any;
}

// out = a | b (any) or a & b (all); out may be a when b lies after it.
void combineRows(tMask* out, const tMask* a, const tMask* b, std::int32_t count, bool all)
{
    std::int32_t x = 0;
    if (all)
    {
        for (; x + BYTE_LANES <= count; x += BYTE_LANES)
            store(out + x, load<tBytes>(a + x) & load<tBytes>(b + x));
        for (; x < count; ++x)
            out[x] = a[x] & b[x];
    }
    else
    {
        for (; x + BYTE_LANES <= count; x += BYTE_LANES)
            store(out + x, load<tBytes>(a + x) | load<tBytes>(b + x));
        for (; x < count; ++x)
            out[x] = a[x] | b[x];
    }
}

// The x pass of a box window [lo, hi] on one row of labels: out[x] combines the mask over
// x + lo ... x + hi (0 beyond the row). By doubling: after the pass for span p every byte
// of the padded row combines the p bytes from it on; with p the largest power of two in
// the window, two such spans that overlap cover it. `padded` holds count + 2 * pad bytes,
// pad > |lo| and |hi|. Whether the row holds the object at all; `out` is left alone when
// it does not.
bool windowRow(const tLabel* labels, tLabel object, std::int32_t count, std::int32_t lo, std::int32_t hi, bool all,
               tMask* padded, std::int32_t pad, tMask* out)
{
    if (!maskRow(labels, padded + pad, count, object))
        return false;
    std::memset(padded, 0, std::size_t(pad));
    std::memset(padded + pad + count, 0, std::size_t(pad));
    const std::int32_t length = count + 2 * pad;
    const std::int32_t width = hi - lo + 1;
    std::int32_t span = 1;
    for (; span <= width / 2; span *= 2)
        combineRows(padded, padded, padded + span, length - 2 * span + 1, all);
    combineRows(out, padded + pad + lo, padded + pad + hi - span + 1, count, all);
    return true;
}

// counts += row (sign +1) or counts -= row (sign -1), for the running counts of the y and
// z passes.
template <class TCount, int SIGN>
void accumulateRow(TCount* counts, const tMask* row, std::int32_t count)
{
    std::int32_t x = 0;
    if constexpr (sizeof(TCount) == 1)
    {
        for (; x + BYTE_LANES <= count; x += BYTE_LANES)
        {
            const tBytes sum = SIGN > 0 ? load<tBytes>(counts + x) + load<tBytes>(row + x)
                                        : load<tBytes>(counts + x) - load<tBytes>(row + x);
            store(counts + x, sum);
        }
    }
    for (; x < count; ++x)
        counts[x] = static_cast<TCount>(SIGN > 0 ? counts[x] + row[x] : counts[x] - row[x]);
}

// out = (counts == full) (all) or (counts != 0); whether any is 1.
template <class TCount>
bool countsRow(const TCount* counts, tMask* out, std::int32_t count, bool all, std::int32_t full)
{
    std::int32_t x = 0;
    bool any = false;
    if constexpr (sizeof(TCount) == 1)
    {
        const tBytes fullLanes = splat<tBytes>(static_cast<std::uint8_t>(all ? full : 0));
        tBytes seen{};
        for (; x + BYTE_LANES <= count; x += BYTE_LANES)
        {
            const tBytes values = load<tBytes>(counts + x);
            const tBytes hit = all ? (tBytes)(values == fullLanes) : (tBytes)(values != fullLanes);
            seen |= hit;
            store(out + x, hit & splat<tBytes>(ONE));
        }
        any = anyLane(seen);
    }
    for (; x < count; ++x)
    {
        out[x] = all ? counts[x] == TCount(full) : counts[x] != 0;
        any |= out[x] != 0;
    }
    return any;
}

// destination = label where mask is 1; elsewhere unchanged.
void paintRow(tLabel* destination, const tMask* mask, std::int32_t count, tLabel label)
{
    const tLabels labelLanes = splat<tLabels>(label);
    std::int32_t x = 0;
    for (; x + LABEL_LANES <= count; x += LABEL_LANES)
    {
        const tLabels select = selectLanes(mask + x);
        store(destination + x, (load<tLabels>(destination + x) & ~select) | (labelLanes & select));
    }
    for (; x < count; ++x)
        if (mask[x])
            destination[x] = label;
}

// Where the source holds the object: destination = keep ? kept : removed; elsewhere
// unchanged. Source and destination may be the same row.
void erodeRow(tLabel* destination, const tLabel* source, const tMask* keep, std::int32_t count, tLabel object,
              tLabel kept, tLabel removed)
{
    const tLabels objectLanes = splat<tLabels>(object);
    const tLabels keptLanes = splat<tLabels>(kept);
    const tLabels removedLanes = splat<tLabels>(removed);
    std::int32_t x = 0;
    for (; x + LABEL_LANES <= count; x += LABEL_LANES)
    {
        const tLabels isObject = (tLabels)(load<tLabels>(source + x) == objectLanes);
        const tLabels select = selectLanes(keep + x);
        const tLabels value = (keptLanes & select) | (removedLanes & ~select);
        store(destination + x, (load<tLabels>(destination + x) & ~isObject) | (value & isObject));
    }
    for (; x < count; ++x)
        if (source[x] == object)
            destination[x] = keep[x] ? kept : removed;
}

// ---- Threads -----------------------------------------------------------------------------

// The calling thread and parts - 1 workers run one job at a time, each on its share; run()
// returns when every part is done. Jobs must not throw.
class CTeam
{
public:
    explicit CTeam(int parts) : m_sync(parts), m_parts(parts)
    {
        if (parts <= 1)
            return;
        try
        {
            m_workers.reserve(std::size_t(parts - 1));
            for (int part = 1; part < parts; ++part)
                m_workers.emplace_back([this, part] { work(part); });
        }
        catch (...)
        {
            // No more threads to be had: the missing workers leave the barrier and their
            // shares fall to the others.
            m_parts = static_cast<int>(m_workers.size()) + 1;
            for (int missing = m_parts; missing < parts; ++missing)
                m_sync.arrive_and_drop();
        }
    }

    CTeam(const CTeam&) = delete;
    CTeam& operator=(const CTeam&) = delete;

    ~CTeam()
    {
        if (m_workers.empty())
            return;
        m_stop.store(true, std::memory_order_release);
        m_sync.arrive_and_wait();
        m_workers.clear(); // joins
    }

    int parts() const { return m_parts; }

    //! job(part, parts) on every part, part 0 on the calling thread.
    template <class TJob>
    void run(TJob& job)
    {
        if (m_workers.empty())
        {
            job(0, 1);
            return;
        }
        m_job = &job;
        m_call = [](void* context, int part, int parts) { (*static_cast<TJob*>(context))(part, parts); };
        m_sync.arrive_and_wait(); // the job is ready
        job(0, m_parts);
        m_sync.arrive_and_wait(); // every share is done
    }

private:
    void work(int part)
    {
        for (;;)
        {
            m_sync.arrive_and_wait();
            if (m_stop.load(std::memory_order_acquire))
                return;
            m_call(m_job, part, m_parts);
            m_sync.arrive_and_wait();
        }
    }

    std::barrier<> m_sync;
    int m_parts;
    std::atomic<bool> m_stop{false};
    void* m_job = nullptr;
    void (*m_call)(void*, int, int) = nullptr;
    std::vector<std::jthread> m_workers;
};

// Rows [begin, end) of `count` that part `part` of `parts` takes.
std::pair<std::int32_t, std::int32_t> share(std::int32_t count, int part, int parts)
{
    return {static_cast<std::int32_t>(std::int64_t(count) * part / parts),
            static_cast<std::int32_t>(std::int64_t(count) * (part + 1) / parts)};
}

// ---- The window ------------------------------------------------------------------------

struct CSettings
{
    const tLabelVolume* source;
    tLabelVolume* destination;
    tLabel object;
    tLabel write;
    tLabel background;
    bool erosion; // combination "all"; dilation: "any"
    std::array<std::int32_t, 3> size;
};

using tOffset = std::array<std::int32_t, 3>;

struct CWindow
{
    enum class EKind
    {
        CONSTANT, // the result is `constant` everywhere
        BOX,      // K = [lo, hi] along each axis
        OFFSETS   // K = offsets, sorted by z, y, x
    };
    EKind kind = EKind::CONSTANT;
    bool constant = false;
    tOffset lo{};
    tOffset hi{};
    std::vector<tOffset> offsets;
};

// The window of the element for the operation. Offsets that reach beyond the volume along
// an axis never find an image inside it: dilation drops them, and one of them empties the
// erosion. A box of any is clipped to what can reach the volume. All remaining offsets lie
// within (-size, size) along each axis.
CWindow windowOf(const tElement& element, bool value, const std::array<std::int64_t, 3>& centre, bool all,
                 const std::array<std::int32_t, 3>& size)
{
    CWindow window;
    const std::int64_t sign = all ? 1 : -1;
    std::array<std::int64_t, 3> lo{}, hi{};
    lo.fill(std::numeric_limits<std::int64_t>::max());
    hi.fill(std::numeric_limits<std::int64_t>::min());
    std::int64_t members = 0;
    const auto visit = [&](auto&& onMember) {
        for (std::int32_t ez = 0; ez < element.getZSize(); ++ez)
            for (std::int32_t ey = 0; ey < element.getYSize(); ++ey)
            {
                const bool* row = element.getRowPtr(ey, ez);
                for (std::int32_t ex = 0; ex < element.getXSize(); ++ex)
                    if (row[ex] == value)
                        onMember(std::array<std::int64_t, 3>{sign * (ex - centre[0]), sign * (ey - centre[1]),
                                                             sign * (ez - centre[2])});
            }
    };
    visit([&](const std::array<std::int64_t, 3>& k) {
        ++members;
        for (int axis = 0; axis < 3; ++axis)
        {
            lo[axis] = std::min(lo[axis], k[axis]);
            hi[axis] = std::max(hi[axis], k[axis]);
        }
    });
    if (members == 0)
    {
        // Nothing to cover; nothing that could fail.
        window.constant = all;
        return window;
    }
    const auto reaches = [&size](std::int64_t offset, int axis) { return offset > -size[axis] && offset < size[axis]; };
    if (all)
    {
        for (int axis = 0; axis < 3; ++axis)
            if (!reaches(lo[axis], axis) || !reaches(hi[axis], axis))
                return window; // constant false
    }
    const std::int64_t boxVoxels = (hi[0] - lo[0] + 1) * (hi[1] - lo[1] + 1) * (hi[2] - lo[2] + 1);
    if (members == boxVoxels)
    {
        for (int axis = 0; axis < 3; ++axis)
        {
            const std::int64_t reach = std::int64_t(size[axis]) - 1;
            const std::int64_t first = std::max(lo[axis], -reach);
            const std::int64_t last = std::min(hi[axis], reach);
            if (first > last)
                return window; // constant false: no image ever lies inside
            window.lo[axis] = static_cast<std::int32_t>(first);
            window.hi[axis] = static_cast<std::int32_t>(last);
        }
        window.kind = CWindow::EKind::BOX;
        return window;
    }
    visit([&](const std::array<std::int64_t, 3>& k) {
        if (reaches(k[0], 0) && reaches(k[1], 1) && reaches(k[2], 2))
            window.offsets.push_back({static_cast<std::int32_t>(k[0]), static_cast<std::int32_t>(k[1]),
                                      static_cast<std::int32_t>(k[2])});
    });
    if (window.offsets.empty())
        return window; // constant false
    std::sort(window.offsets.begin(), window.offsets.end(),
              [](const tOffset& a, const tOffset& b) {
                  return std::tie(a[2], a[1], a[0]) < std::tie(b[2], b[1], b[0]);
              });
    window.kind = CWindow::EKind::OFFSETS;
    return window;
}

// ---- Engines ---------------------------------------------------------------------------
// Each makes output slice z in step(z): it first reads every source slice up to
// max(z + deepest reach, z) into a ring of slices (so a slice is always read before it is
// written, which keeps an in-place run exact), then writes slice z row by row.

// Byte slices with one flag per row (0 only for a row of zeros); slice j in slot j % depth.
class CSliceRing
{
public:
    // Holds the slices [z + nearest, z + furthest] around each output slice z, and z
    // itself; `bytes` false keeps only the flags.
    CSliceRing(std::int32_t xSize, std::int32_t ySize, std::int32_t zSize, std::int32_t nearest,
               std::int32_t furthest, bool bytes = true)
        : m_xSize(xSize), m_ySize(ySize),
          m_depth(std::clamp<std::int32_t>(std::max(furthest, 0) - std::min(nearest, 0) + 1, 1, std::max(zSize, 1))),
          m_bytes(bytes ? std::size_t(m_depth) * std::size_t(ySize) * std::size_t(xSize) : 0),
          m_flags(std::size_t(m_depth) * std::size_t(ySize))
    {
    }

    tMask* row(std::int32_t y, std::int32_t z) { return m_bytes.data() + rowIndex(y, z) * std::size_t(m_xSize); }
    tMask& flag(std::int32_t y, std::int32_t z) { return m_flags[rowIndex(y, z)]; }

private:
    std::size_t rowIndex(std::int32_t y, std::int32_t z) const
    {
        return std::size_t(z % m_depth) * std::size_t(m_ySize) + std::size_t(y);
    }

    std::int32_t m_xSize;
    std::int32_t m_ySize;
    std::int32_t m_depth;
    std::vector<tMask> m_bytes;
    std::vector<tMask> m_flags;
};

class CEngineBase
{
protected:
    CEngineBase(const CSettings& settings, CTeam& team)
        : m_settings(settings), m_team(team), m_xSize(settings.size[0]), m_ySize(settings.size[1]),
          m_zSize(settings.size[2]), m_rows(std::size_t(team.parts()), std::vector<tMask>(std::size_t(m_xSize)))
    {
    }

    const tLabel* sourceRow(std::int32_t y, std::int32_t z) const { return m_settings.source->getRowPtr(y, z); }
    tLabel* destinationRow(std::int32_t y, std::int32_t z) { return m_settings.destination->getRowPtr(y, z); }

    // Writes one output row from its result (null: zeros).
    void writeRow(std::int32_t y, std::int32_t z, const tMask* result, int part)
    {
        if (m_settings.erosion)
        {
            if (!result)
            {
                std::fill(m_rows[part].begin(), m_rows[part].end(), tMask(0));
                result = m_rows[part].data();
            }
            erodeRow(destinationRow(y, z), sourceRow(y, z), result, m_xSize, m_settings.object, m_settings.write,
                     m_settings.background);
        }
        else if (result)
        {
            paintRow(destinationRow(y, z), result, m_xSize, m_settings.write);
        }
    }

    const CSettings& m_settings;
    CTeam& m_team;
    const std::int32_t m_xSize;
    const std::int32_t m_ySize;
    const std::int32_t m_zSize;
    std::vector<std::vector<tMask>> m_rows; // one result row per part
};

// The same result everywhere.
class CConstantEngine : public CEngineBase
{
public:
    CConstantEngine(const CSettings& settings, CTeam& team, bool constant)
        : CEngineBase(settings, team), m_constant(constant)
    {
        for (std::vector<tMask>& row : m_rows)
            std::fill(row.begin(), row.end(), tMask(constant));
    }

    void step(std::int32_t z)
    {
        if (!m_settings.erosion && !m_constant)
            return; // a dilation that covers nothing
        auto job = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            for (std::int32_t y = begin; y < end; ++y)
                writeRow(y, z, m_rows[part].data(), part);
        };
        m_team.run(job);
    }

private:
    const bool m_constant;
};

// Any element, offset by offset over a byte mask of the slices it reaches.
class COffsetEngine : public CEngineBase
{
public:
    COffsetEngine(const CSettings& settings, CTeam& team, const std::vector<tOffset>& offsets)
        : CEngineBase(settings, team), m_offsets(offsets),
          m_ring(m_xSize, m_ySize, m_zSize, std::min(offsets.front()[2], 0), std::max(offsets.back()[2], 0))
    {
        m_xFirst = offsets.front()[0];
        m_xLast = offsets.front()[0];
        for (const tOffset& k : offsets)
        {
            m_xFirst = std::min(m_xFirst, k[0]);
            m_xLast = std::max(m_xLast, k[0]);
        }
        m_furthest = offsets.back()[2];
    }

    void step(std::int32_t z)
    {
        const std::int32_t newest = std::min(m_zSize - 1, std::max(z + m_furthest, z));
        while (m_read <= newest)
            read(m_read++);
        auto job = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            tMask* result = m_rows[part].data();
            for (std::int32_t y = begin; y < end; ++y)
            {
                if (m_settings.erosion)
                {
                    if (m_ring.flag(y, z))
                        writeRow(y, z, all(y, z, result) ? result : nullptr, part);
                }
                else if (any(y, z, result))
                {
                    writeRow(y, z, result, part);
                }
            }
        };
        m_team.run(job);
    }

private:
    void read(std::int32_t z)
    {
        auto job = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            for (std::int32_t y = begin; y < end; ++y)
                m_ring.flag(y, z) = maskRow(sourceRow(y, z), m_ring.row(y, z), m_xSize, m_settings.object);
        };
        m_team.run(job);
    }

    // result = OR of the offset rows; false when none of them holds the object.
    bool any(std::int32_t y, std::int32_t z, tMask* result)
    {
        bool touched = false;
        for (const tOffset& k : m_offsets)
        {
            const std::int32_t sy = y + k[1], sz = z + k[2];
            if (sy < 0 || sy >= m_ySize || sz < 0 || sz >= m_zSize || !m_ring.flag(sy, sz))
                continue;
            if (!touched)
                std::memset(result, 0, std::size_t(m_xSize));
            touched = true;
            const std::int32_t begin = std::max(0, -k[0]), end = std::min(m_xSize, m_xSize - k[0]);
            combineRows(result + begin, result + begin, m_ring.row(sy, sz) + (begin + k[0]), end - begin, false);
        }
        return touched;
    }

    // result = AND of the offset rows, 0 where an image leaves the row; false when the
    // result is all zeros for sure.
    bool all(std::int32_t y, std::int32_t z, tMask* result)
    {
        const std::int32_t begin = std::max(0, -m_xFirst), end = std::min(m_xSize, m_xSize - m_xLast);
        if (begin >= end)
            return false;
        for (const tOffset& k : m_offsets)
        {
            const std::int32_t sy = y + k[1], sz = z + k[2];
            if (sy < 0 || sy >= m_ySize || sz < 0 || sz >= m_zSize || !m_ring.flag(sy, sz))
                return false;
        }
        std::memset(result, 0, std::size_t(m_xSize));
        std::memset(result + begin, 1, std::size_t(end - begin));
        for (const tOffset& k : m_offsets)
        {
            const tMask* images = m_ring.row(y + k[1], z + k[2]) + (begin + k[0]);
            combineRows(result + begin, result + begin, images, end - begin, true);
        }
        return true;
    }

    const std::vector<tOffset>& m_offsets;
    CSliceRing m_ring;
    std::int32_t m_xFirst;
    std::int32_t m_xLast;
    std::int32_t m_furthest;
    std::int32_t m_read = 0;
};

// A box window, separably: doubling spans along each row (x), running counts of
// those results over the rows of a slice (y) into the ring, running counts over the ring's
// slices (z). A row flag of 0 marks a row of zeros, so sparse masks skip most of the work.
// TCount holds the largest count (at most min(window, size) along y and z).
template <class TCount>
class CBoxEngine : public CEngineBase
{
public:
    CBoxEngine(const CSettings& settings, CTeam& team, const tOffset& lo, const tOffset& hi)
        : CEngineBase(settings, team), m_lo(lo), m_hi(hi),
          m_ring(m_xSize, m_ySize, m_zSize, std::min(lo[2] - 1, 0), std::max(hi[2], 0)),
          m_objectRows(m_xSize, m_ySize, m_zSize, std::min(lo[2] - 1, 0), std::max(hi[2], 0), false),
          m_xPass(std::size_t(m_xSize) * std::size_t(m_ySize)), m_xFlags(std::size_t(m_ySize)),
          m_counts(std::size_t(m_xSize) * std::size_t(m_ySize)), m_rowCounts(std::size_t(m_ySize)),
          m_pad(std::max(std::abs(lo[0]), std::abs(hi[0])) + 1),
          m_padded(std::size_t(team.parts()), std::vector<tMask>(std::size_t(m_xSize) + 2 * std::size_t(m_pad))),
          m_rowCountsY(std::size_t(team.parts()), std::vector<TCount>(std::size_t(m_xSize)))
    {
    }

    void step(std::int32_t z)
    {
        const std::int32_t newest = std::min(m_zSize - 1, std::max(z + m_hi[2], z));
        while (m_read <= newest)
            read(m_read++);
        const std::int32_t width = m_hi[2] - m_lo[2] + 1;
        auto job = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            tMask* result = m_rows[part].data();
            for (std::int32_t y = begin; y < end; ++y)
            {
                TCount* counts = m_counts.data() + std::size_t(y) * std::size_t(m_xSize);
                if (z == 0)
                {
                    for (std::int32_t j = std::max(m_lo[2] - 1, 0); j <= std::min(m_hi[2] - 1, m_zSize - 1); ++j)
                        add<1>(counts, y, j);
                }
                add<1>(counts, y, z + m_hi[2]);
                add<-1>(counts, y, z + m_lo[2] - 1);
                if (m_settings.erosion)
                {
                    if (!m_objectRows.flag(y, z))
                        continue;
                    const bool kept = m_rowCounts[y] == width && countsRow(counts, result, m_xSize, true, width);
                    writeRow(y, z, kept ? result : nullptr, part);
                }
                else if (m_rowCounts[y] != 0)
                {
                    countsRow(counts, result, m_xSize, false, 0);
                    writeRow(y, z, result, part);
                }
            }
        };
        m_team.run(job);
    }

private:
    // Adds (SIGN 1) or removes (-1) ring slice j's row y to or from the z counts.
    template <int SIGN>
    void add(TCount* counts, std::int32_t y, std::int32_t j)
    {
        if (j < 0 || j >= m_zSize || !m_ring.flag(y, j))
            return;
        accumulateRow<TCount, SIGN>(counts, m_ring.row(y, j), m_xSize);
        m_rowCounts[y] += SIGN;
    }

    // Source slice z through the x and y passes into the ring.
    void read(std::int32_t z)
    {
        const bool all = m_settings.erosion;
        auto xJob = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            for (std::int32_t y = begin; y < end; ++y)
            {
                const bool object = windowRow(sourceRow(y, z), m_settings.object, m_xSize, m_lo[0], m_hi[0], all,
                                              m_padded[part].data(), m_pad, xPassRow(y));
                m_xFlags[y] = object;
                m_objectRows.flag(y, z) = object;
            }
        };
        m_team.run(xJob);
        const std::int32_t width = m_hi[1] - m_lo[1] + 1;
        auto yJob = [&](int part, int parts) {
            const auto [begin, end] = share(m_ySize, part, parts);
            if (begin >= end)
                return;
            TCount* counts = m_rowCountsY[part].data();
            std::fill_n(counts, m_xSize, TCount(0));
            std::int32_t rows = 0; // rows of the window that hold ones
            const auto slide = [&](std::int32_t j, auto sign) {
                if (j < 0 || j >= m_ySize || !m_xFlags[j])
                    return;
                accumulateRow<TCount, decltype(sign)::value>(counts, xPassRow(j), m_xSize);
                rows += decltype(sign)::value;
            };
            using tAdd = std::integral_constant<int, 1>;
            using tRemove = std::integral_constant<int, -1>;
            for (std::int32_t j = begin + m_lo[1] - 1; j <= begin + m_hi[1] - 1; ++j)
                slide(j, tAdd{});
            for (std::int32_t y = begin; y < end; ++y)
            {
                slide(y + m_hi[1], tAdd{});
                slide(y + m_lo[1] - 1, tRemove{});
                const bool live = all ? rows == width : rows != 0;
                m_ring.flag(y, z) = live && countsRow(counts, m_ring.row(y, z), m_xSize, all, width);
            }
        };
        m_team.run(yJob);
    }

    tMask* xPassRow(std::int32_t y) { return m_xPass.data() + std::size_t(y) * std::size_t(m_xSize); }

    const tOffset m_lo;
    const tOffset m_hi;
    CSliceRing m_ring;       // x and y passes of the slices read
    CSliceRing m_objectRows; // only the flags: which rows of the slices read hold the object
    std::vector<tMask> m_xPass;
    std::vector<tMask> m_xFlags;
    std::vector<TCount> m_counts;          // z counts, one per voxel of a slice
    std::vector<std::int32_t> m_rowCounts; // per row: ring rows of the z window that hold ones
    const std::int32_t m_pad;                 // zeros on either side of the x pass's row
    std::vector<std::vector<tMask>> m_padded; // one padded row per part
    std::vector<std::vector<TCount>> m_rowCountsY;
    std::int32_t m_read = 0;
};

template <class TEngine, class TSliceDone>
bool runSlices(TEngine& engine, std::int32_t zSize, TSliceDone& sliceDone)
{
    for (std::int32_t z = 0; z < zSize; ++z)
    {
        engine.step(z);
        if (!sliceDone())
            return false;
    }
    return true;
}

template <class TSliceDone>
bool runWindow(const CSettings& settings, const CWindow& window, int threads, TSliceDone& sliceDone)
{
    const std::int32_t zSize = settings.size[2];
    CTeam team(effectiveThreads(threads, std::int64_t(settings.size[0]) * settings.size[1], settings.size[1]));
    switch (window.kind)
    {
    case CWindow::EKind::CONSTANT:
    {
        CConstantEngine engine(settings, team, window.constant);
        return runSlices(engine, zSize, sliceDone);
    }
    case CWindow::EKind::OFFSETS:
    {
        COffsetEngine engine(settings, team, window.offsets);
        return runSlices(engine, zSize, sliceDone);
    }
    case CWindow::EKind::BOX:
        break;
    }
    const auto largest = [&](int axis) {
        return std::min<std::int64_t>(window.hi[axis] - window.lo[axis] + 1, settings.size[axis]);
    };
    const std::int64_t largestCount = std::max(largest(1), largest(2));
    if (largestCount <= std::numeric_limits<std::uint8_t>::max())
    {
        CBoxEngine<std::uint8_t> engine(settings, team, window.lo, window.hi);
        return runSlices(engine, zSize, sliceDone);
    }
    if (largestCount <= std::numeric_limits<std::uint16_t>::max())
    {
        CBoxEngine<std::uint16_t> engine(settings, team, window.lo, window.hi);
        return runSlices(engine, zSize, sliceDone);
    }
    CBoxEngine<std::uint32_t> engine(settings, team, window.lo, window.hi);
    return runSlices(engine, zSize, sliceDone);
}

} // namespace

CBinaryMorphology::tElement CBinaryMorphology::makeStructuringElement(std::int32_t size)
{
    if (size < 0 || size > (std::numeric_limits<std::int32_t>::max() - 1) / 2)
        throw tElement::CBadSize();
    const std::int32_t n = 2 * size + 1;
    tElement element(n, n, n, 0);
    element.fill(true);
    if (size == 1)
    {
        for (std::int32_t z : {0, 2})
            for (std::int32_t y : {0, 2})
                for (std::int32_t x : {0, 2})
                    element.at(x, y, z) = false;
    }
    return element;
}

bool CBinaryMorphology::apply(bool erosion, std::uint16_t background)
{
    if (!m_source || !m_destination || !m_element)
        return false;
    const tLabelVolume& source = *m_source;
    if (source.getXSize() > m_destination->getXSize() || source.getYSize() > m_destination->getYSize() ||
        source.getZSize() > m_destination->getZSize())
        return false;

    // The filter lets go of the caller's callback however the run ends.
    struct CRestoreCallback
    {
        CBinaryMorphology& filter;
        ~CRestoreCallback() { filter.restoreDefaultCallback(); }
    } restoreCallback{*this};

    const CSettings settings{&source,
                             m_destination,
                             m_objectLabel,
                             m_writeLabel,
                             background,
                             erosion,
                             {source.getXSize(), source.getYSize(), source.getZSize()}};
    const CWindow window = windowOf(*m_element, m_elementValue, {m_centreX, m_centreY, m_centreZ}, erosion,
                                    settings.size);
    beginProgress(source.getZSize());
    auto sliceDone = [this] { return progress(); };
    return runWindow(settings, window, m_threads, sliceDone);
}

} // namespace seg
