#include "host/import/CIsolatedWork.h"

#include "host/import/CImportError.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace velmora::import {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool ADDRESS_SANITIZER = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool ADDRESS_SANITIZER = true;
#else
constexpr bool ADDRESS_SANITIZER = false;
#endif
#else
constexpr bool ADDRESS_SANITIZER = false;
#endif

constexpr int PIPE_BYTES = 1 << 20;

// Status of a child that went past its memory bound in a sanitizer build (see below).
constexpr int OVER_MEMORY_STATUS = 3;

// Under AddressSanitizer the heap bound cannot be a resource limit: the sanitizer's shadow
// memory counts as data too. The child then watches its allocations through the sanitizer's
// malloc hook instead and ends as soon as its heap passes the bound, before the memory is
// touched (a library that zeroes what a damaged length claims would otherwise spend seconds
// on gigabytes).
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t), void (*)(const volatile void*))
    __attribute__((weak));
std::size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
}

std::size_t g_heapBound = 0;

void boundHeap(const volatile void*, std::size_t)
{
    if (__sanitizer_get_current_allocated_bytes() > g_heapBound) {
        static const char said[] = "reading process: heap bound exceeded\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, said, sizeof said - 1);
        _exit(OVER_MEMORY_STATUS);
    }
}

// (The sanitizer takes a pair of hooks or none.)
void ignoreFree(const volatile void*) {}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::write(fd, at, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        at += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// Bytes of this process's data and stack (the sixth field of /proc/self/statm, in pages);
// 0 where that cannot be read.
std::uint64_t dataBytes()
{
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[256];
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length <= 0)
        return 0;
    text[length] = '\0';
    std::uint64_t fields[6] = {};
    int field = 0;
    for (const char* at = text; *at != '\0' && field < 6; ++at) {
        if (*at >= '0' && *at <= '9')
            fields[field] = fields[field] * 10 + static_cast<std::uint64_t>(*at - '0');
        else if (*at == ' ')
            ++field;
    }
    return field >= 5 ? fields[5] * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

} // namespace

void CIsolatedWork::CChannel::message(char type, const void* data, std::size_t size)
{
    const std::uint64_t length = size;
    char header[1 + sizeof length];
    header[0] = type;
    std::memcpy(header + 1, &length, sizeof length);
    // The parent gave up on us: nothing left to do.
    if (!writeAll(m_fd, header, sizeof header) || !writeAll(m_fd, data, size))
        _exit(0);
}

CIsolatedWork::CIsolatedWork(const std::function<void(CChannel&)>& work, int silenceLimitMs, std::uint64_t memoryLimit)
    : m_silenceLimitMs(silenceLimitMs)
{
    // Whatever this process has buffered would otherwise be written twice.
    std::fflush(nullptr);
    int fds[2];
    if (::pipe(fds) != 0)
        throw CImportError(std::string("Cannot start reading: no pipe (") + std::strerror(errno) + ")");
#ifdef F_SETPIPE_SZ
    // Room for a whole CT slice or more: fewer switches between the processes while pixels
    // pass. Where the system allows less, the default stays.
    ::fcntl(fds[0], F_SETPIPE_SZ, PIPE_BYTES);
#endif
    m_child = ::fork();
    if (m_child < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw CImportError(std::string("Cannot start reading: no process (") + std::strerror(error) + ")");
    }
    if (m_child == 0) {
        ::close(fds[0]);
        // The library's fatal signals end the child as they come: no crash handler of the
        // host (or of a test harness) runs in a copy of it.
        for (int fatal : {SIGPIPE, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
            ::signal(fatal, SIG_DFL);
        // The library's chatter is diagnostics: standard output belongs to the host's
        // script results.
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        if (memoryLimit > 0 && !ADDRESS_SANITIZER) {
            // The limit counts the parent's data too, which the child holds as a copy: a host
            // with a large data set loaded would otherwise leave the library no room at all.
            const std::uint64_t room = dataBytes() + memoryLimit;
            const rlimit heap{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
            ::setrlimit(RLIMIT_DATA, &heap);
        } else if (memoryLimit > 0 && __sanitizer_install_malloc_and_free_hooks != nullptr
                   && __sanitizer_get_current_allocated_bytes != nullptr) {
            g_heapBound = static_cast<std::size_t>(
                std::min<std::uint64_t>(__sanitizer_get_current_allocated_bytes() + memoryLimit, SIZE_MAX));
            __sanitizer_install_malloc_and_free_hooks(boundHeap, ignoreFree);
        }
        CChannel channel(fds[1]);
        int status = 0;
        try {
            work(channel);
        } catch (const std::exception& failure) {
            channel.message('E', failure.what());
        } catch (...) {
            status = 2;
        }
        ::close(fds[1]);
        // No destructors, no atexit handlers, no buffers of the parent's flushed twice.
        _exit(status);
    }
    ::close(fds[1]);
    m_fd = fds[0];
}

CIsolatedWork::~CIsolatedWork()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_child > 0) {
        ::kill(m_child, SIGKILL);
        int status = 0;
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

bool CIsolatedWork::read(void* data, std::size_t size)
{
    char* at = static_cast<char*>(data);
    while (size > 0) {
        // A child that says nothing for this long hangs (a decoder in a loop, a lock held
        // at the fork): it is given up like one that died.
        pollfd ready{m_fd, POLLIN, 0};
        const int waited = ::poll(&ready, 1, m_silenceLimitMs);
        if (waited < 0 && errno == EINTR)
            continue;
        if (waited == 0) {
            m_silent = true;
            return false;
        }
        const ssize_t done = ::read(m_fd, at, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        at += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool CIsolatedWork::next(char& type, std::uint64_t& size)
{
    char header[1 + sizeof size];
    if (!read(header, sizeof header))
        return false;
    type = header[0];
    std::memcpy(&size, header + 1, sizeof size);
    return true;
}

std::string CIsolatedWork::readText(std::uint64_t size)
{
    constexpr std::uint64_t KEPT = 1 << 20;
    std::string text(static_cast<std::size_t>(std::min(size, KEPT)), '\0');
    if (!read(text.data(), text.size()))
        return text;
    for (std::vector<char> rest(4096); size > KEPT;) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size - KEPT, rest.size()));
        if (!read(rest.data(), piece))
            break;
        size -= piece;
    }
    return text;
}

std::string CIsolatedWork::finish()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_silent)
        ::kill(m_child, SIGKILL);
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(m_child, &status, 0)) < 0 && errno == EINTR) {
    }
    m_child = -1;
    if (reaped < 0)
        return "it could not be waited for";
    if (m_silent)
        return "it stopped responding for " + std::to_string(m_silenceLimitMs) + " ms and was stopped";
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char* name = ::strsignal(signal);
        return "it was killed by signal " + std::to_string(signal) + " (" + (name ? name : "unknown") + ")";
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        return "it exited with status " + std::to_string(WEXITSTATUS(status));
    return {};
}

} // namespace velmora::import
