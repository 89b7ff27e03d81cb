#include "toolkit/sys/Shares.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace kvo::sys {

std::size_t shareCount(std::size_t most, std::size_t useful) noexcept
{
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    return std::max<std::size_t>(1, std::min({processors, most, useful}));
}

void runShares(std::size_t shares, const std::function<void(std::size_t)>& work)
{
    std::vector<std::thread> helpers;
    try
    {
        for (std::size_t k = 1; k < shares; ++k)
            helpers.emplace_back(work, k);
    }
    catch (const std::system_error&)
    {
        // No thread to be had: the shares left run here.
        for (std::size_t k = helpers.size() + 1; k < shares; ++k)
            work(k);
    }
    if (shares > 0)
        work(0);
    for (std::thread& helper : helpers)
        helper.join();
}

} // namespace kvo::sys
