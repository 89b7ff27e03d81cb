#include "toolkit/sys/CReplacingFile.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvo::sys {

namespace {

namespace fs = std::filesystem;

// Tries this many random names before giving up on a folder.
constexpr int NAME_ATTEMPTS = 64;

// fsync of a path opened read-only: enough on Linux to push a file's (or a folder's) data
// and metadata to the disk.
bool syncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

} // namespace

CReplacingFile::CReplacingFile(const std::string& target)
{
    if (target.empty())
        return;
    fs::path path(target);
    std::error_code error;
    // Replace the file a link names, not the link.
    if (fs::is_symlink(path, error))
    {
        const fs::path resolved = fs::canonical(path, error);
        if (!error)
            path = resolved;
    }
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return; // a folder or a device is never replaced by a file
    if (!path.has_filename())
        return;
    m_target = path.string();

    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::random_device seed;
    std::mt19937 generator(seed());
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt)
    {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(generator()));
        const std::string candidate = (folder / ("." + path.filename().string() + suffix)).string();
        // Exclusive creation: never an existing file, never through a planted link. The
        // mode lets the umask decide, as for any new file.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
        {
            ::close(fd);
            m_temporary = candidate;
            return;
        }
        if (errno != EEXIST)
            return; // folder missing or not writable
    }
}

CReplacingFile::~CReplacingFile()
{
    if (!m_committed)
        discard();
}

void CReplacingFile::discard()
{
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool CReplacingFile::commit()
{
    if (!isReady())
        return false;
    // A late write error of the file system shows here, before the old file is gone.
    if (!syncPath(m_temporary, O_RDONLY))
    {
        discard();
        return false;
    }
    struct stat info = {};
    if (::stat(m_target.c_str(), &info) == 0)
    {
        if (!S_ISREG(info.st_mode) || ::chmod(m_temporary.c_str(), info.st_mode & 07777) != 0)
        {
            discard();
            return false;
        }
    }
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
    {
        discard();
        return false;
    }
    m_committed = true;
    m_temporary.clear();
    // Make the new name itself durable; the file is in place whatever this answers.
    const fs::path folder = fs::path(m_target).has_parent_path() ? fs::path(m_target).parent_path() : fs::path(".");
    syncPath(folder.string(), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace kvo::sys
