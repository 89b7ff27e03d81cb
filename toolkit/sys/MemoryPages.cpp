#include "toolkit/sys/MemoryPages.h"

#include "toolkit/sys/Shares.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

namespace kvo::sys {

namespace {

// Below this a range is mapped on first touch as usual: the call would not pay for itself.
constexpr std::size_t SMALL_RANGE = std::size_t(8) << 20;
// Pages for one thread at least, and threads at most.
constexpr std::size_t THREAD_SHARE = std::size_t(16) << 20;
constexpr std::size_t MAX_THREADS = 4;
// Blocks larger than this are mapped on their own by malloc: glibc's threshold for that
// adjusts itself, but never beyond 32 MiB on 64-bit systems, and the sanitizers' allocator
// maps every large block.
constexpr std::size_t OWN_MAPPING = std::size_t(40) << 20;

// The whole pages inside [data, data + bytes): [first, end), empty when there are none;
// returns the page size.
std::uintptr_t wholePages(void* data, std::size_t bytes, std::uintptr_t& first, std::uintptr_t& end)
{
    first = end = 0;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (data == nullptr || pageSize <= 0)
        return 0;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    end = (reinterpret_cast<std::uintptr_t>(data) + bytes) / page * page;
    if (end < first)
        end = first;
    return page;
}

} // namespace

void mapPages(void* data, std::size_t bytes, CPageUse use) noexcept
{
#if defined(MADV_POPULATE_READ) && defined(MADV_POPULATE_WRITE)
    if (bytes < SMALL_RANGE)
        return;
    // Whole pages inside the range only: a page shared with a neighbour is its business.
    std::uintptr_t first = 0, end = 0;
    const std::uintptr_t page = wholePages(data, bytes, first, end);
    if (end == first)
        return;
    const int advice = use == CPageUse::WRITE ? MADV_POPULATE_WRITE : MADV_POPULATE_READ;
    const std::size_t length = end - first;
    const std::size_t shares = shareCount(MAX_THREADS, std::max<std::size_t>(1, length / THREAD_SHARE));
    const std::size_t share = (length / shares + page - 1) / page * page;
    auto map = [&](std::size_t k) {
        const std::uintptr_t from = first + k * share;
        if (from < end)
            // Fails with EINVAL on kernels before 5.14: the pages are then mapped on touch.
            ::madvise(reinterpret_cast<void*>(from), std::min<std::uintptr_t>(share, end - from), advice);
    };
    try
    {
        runShares(shares, map);
    }
    catch (const std::bad_alloc&)
    {
        // A hint only: the pages are mapped on touch.
    }
#else
    (void)data;
    (void)bytes;
    (void)use;
#endif
}

void keepFromChildProcesses(void* data, std::size_t bytes) noexcept
{
    if (bytes <= OWN_MAPPING)
        return;
    std::uintptr_t first = 0, end = 0;
    wholePages(data, bytes, first, end);
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_DONTFORK);
}

} // namespace kvo::sys
