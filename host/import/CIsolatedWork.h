#pragma once
// Runs work that hands a file to a library which may abort, overflow or hang on a damaged
// file (GDCM asserts on truncated headers, decoders trust the sizes they are given) in a
// forked child process. The child reports through a pipe in typed messages; when it dies,
// the parent learns how, and the host goes on with its data intact.
//
// Child side: message(type, bytes) writes one message (a type byte, a 64-bit length, the
// bytes). Parent side: next() reads the following message header, then read() takes its
// bytes, in pieces if it likes; finish() reaps the child and describes an abnormal end.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace velmora::import {

class CIsolatedWork
{
public:
    //! Longest silence of the child, in milliseconds, before it counts as hung.
    static constexpr int SILENCE_LIMIT_MS = 120000;

    class CChannel
    {
    public:
        explicit CChannel(int fd) : m_fd(fd) {}
        void message(char type, const void* data, std::size_t size);
        void message(char type, const std::string& text) { message(type, text.data(), text.size()); }

    private:
        int m_fd;
    };

    //! Starts `work` in a child process; whatever it throws or however it ends, the child
    //! leaves through _exit and never returns into the caller's code.
    //! A child silent for `silenceLimitMs` counts as hung. With `memoryLimit` (bytes, 0 for
    //! none) the child's heap may not grow by more than that beyond what it started with (its
    //! copy of the parent's data): a library that makes room for what a damaged header claims
    //! fails there instead of taking the machine's memory. (In builds with AddressSanitizer,
    //! whose shadow memory a resource limit would count, the child instead exits with status 3
    //! at the first allocation past the bound.)
    explicit CIsolatedWork(const std::function<void(CChannel&)>& work, int silenceLimitMs = SILENCE_LIMIT_MS,
                           std::uint64_t memoryLimit = 0);
    //! Kills the child if it is still running and reaps it.
    ~CIsolatedWork();
    CIsolatedWork(const CIsolatedWork&) = delete;
    CIsolatedWork& operator=(const CIsolatedWork&) = delete;

    //! Reads the next message's type and length; false when the child closed the pipe (it
    //! ended or died) or the rest of a message is missing.
    bool next(char& type, std::uint64_t& size);
    //! Reads `size` bytes of the current message; false when they are not all there.
    bool read(void* data, std::size_t size);
    //! Reads the rest of the current message as text (at most 1 MiB kept).
    std::string readText(std::uint64_t size);
    //! Waits for the child; empty when it exited with status 0, else how it ended
    //! ("it was killed by signal 6 (Aborted)", "it exited with status 3", or that it was
    //! stopped after SILENCE_LIMIT_MS without a word).
    std::string finish();

private:
    pid_t m_child = -1;
    int m_fd = -1;
    int m_silenceLimitMs;
    bool m_silent = false;
};

} // namespace velmora::import
