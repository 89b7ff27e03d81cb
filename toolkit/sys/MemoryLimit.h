#pragma once
// The most memory one volume, mesh or working buffer may take. The host sets it once from
// its command line; every module (the plug-ins link their own copy of the toolkit) reads
// the same process-wide value, kept in the environment variable VELMORA_MAX_MEMORY (bytes).
// Without it the limit is the machine's physical memory.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kvo::sys {

//! Raised when an allocation would pass the limit; `what` says what and how much.
class CMemoryLimitExceeded : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

//! Physical memory of the machine in bytes (1 GiB when it cannot be found out).
std::uint64_t getPhysicalMemory() noexcept;

//! The current limit in bytes.
std::uint64_t getMemoryLimit() noexcept;

//! Sets the limit for the whole process (0 restores the default).
void setMemoryLimit(std::uint64_t bytes);

//! Throws CMemoryLimitExceeded ("WHAT needs N MiB, more than the memory limit of M MiB
//! (--max-memory)") when `bytes` exceed the limit.
void checkMemory(std::uint64_t bytes, const std::string& what);

//! Parses a size such as "8G", "512M", "1.5G", "4096K" or a byte count; false when the text
//! is not a positive size.
bool parseMemorySize(const std::string& text, std::uint64_t& bytes);

} // namespace kvo::sys
