#pragma once
// Mapping the pages of a large buffer in one go. A page the process touches for the first
// time costs a trap into the kernel; for a volume of hundreds of megabytes those traps cost
// more than the copy that fills it. Asking for the pages of the whole range at once, split
// over the processors, is several times cheaper.

#include <cstddef>

namespace kvo::sys {

enum class CPageUse
{
    READ,  //!< the range is only read for now: untouched pages map the shared zero page
    WRITE, //!< the range is about to be written: every page gets its own memory
};

//! Maps the pages of [data, data + bytes), which the caller has allocated, ahead of use.
//! Only a hint: nothing changes in the contents, and where the system cannot do it the
//! pages are mapped on first touch as usual. Small ranges are left alone.
void mapPages(void* data, std::size_t bytes, CPageUse use) noexcept;

//! Leaves the whole pages of [data, data + bytes), a block from malloc, out of child
//! processes. Forking a process copies the page tables of all its memory and makes every
//! page copy-on-write, which costs the parent of a large volume tens of milliseconds at
//! each fork and a fault on each page it writes afterwards; the children that read files
//! for the host never look at its volumes. Only for blocks of more than 40 MiB, which
//! malloc always maps on their own (the flag then goes with the block when it is freed):
//! a smaller block may share its pages with allocations a child needs.
void keepFromChildProcesses(void* data, std::size_t bytes) noexcept;

} // namespace kvo::sys
