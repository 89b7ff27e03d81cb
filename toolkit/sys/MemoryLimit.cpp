#include "toolkit/sys/MemoryLimit.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kvo::sys {

namespace {
constexpr const char* kVariable = "VELMORA_MAX_MEMORY";

std::string mebibytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}
} // namespace

std::uint64_t getPhysicalMemory() noexcept
{
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::uint64_t(1) << 30;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

std::uint64_t getMemoryLimit() noexcept
{
    if (const char* text = std::getenv(kVariable))
    {
        std::uint64_t bytes = 0;
        if (parseMemorySize(text, bytes))
            return bytes;
    }
    return getPhysicalMemory();
}

void setMemoryLimit(std::uint64_t bytes)
{
    if (bytes == 0)
        unsetenv(kVariable);
    else
        setenv(kVariable, std::to_string(bytes).c_str(), 1);
}

void checkMemory(std::uint64_t bytes, const std::string& what)
{
    const std::uint64_t limit = getMemoryLimit();
    if (bytes > limit)
        throw CMemoryLimitExceeded(what + " needs " + mebibytes(bytes) + ", more than the memory limit of "
                                   + mebibytes(limit) + " (--max-memory)");
}

bool parseMemorySize(const std::string& text, std::uint64_t& bytes)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || !std::isfinite(number) || number <= 0.0)
        return false;
    double scale = 1.0;
    const std::string unit(end);
    if (unit == "K" || unit == "k")
        scale = 1024.0;
    else if (unit == "M" || unit == "m")
        scale = 1024.0 * 1024.0;
    else if (unit == "G" || unit == "g")
        scale = 1024.0 * 1024.0 * 1024.0;
    else if (unit == "T" || unit == "t")
        scale = 1024.0 * 1024.0 * 1024.0 * 1024.0;
    else if (!unit.empty())
        return false;
    const double value = number * scale;
    if (value < 1.0 || value >= 1.8e19)
        return false;
    bytes = static_cast<std::uint64_t>(value);
    return true;
}

} // namespace kvo::sys
