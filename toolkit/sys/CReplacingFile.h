#pragma once
// A file written beside its target and put in the target's place only when complete.
//
// The constructor creates a new, empty temporary file in the target's folder (a hidden name
// derived from the target's, created exclusively, permissions from the process's umask).
// The caller writes it by its path, closes it, and calls commit: the data are synced to
// disk, the temporary file takes the permission bits of an existing target and is renamed
// over the target in one step. Until then, and whenever a step fails, the target keeps its
// old contents byte for byte; the temporary file is removed by a failed commit or by the
// destructor, so nothing is left behind.
//
// A target that exists but is not a regular file (a folder, a device) is refused: the file
// is not ready and no temporary file is made. A symbolic link as target is followed, so the
// file it names is replaced and the link stays. Not thread-safe; narrow (multibyte) paths.

#include <string>

namespace kvo::sys {

class CReplacingFile
{
public:
    explicit CReplacingFile(const std::string& target);
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    //! True when the temporary file exists and may be written.
    bool isReady() const { return !m_temporary.empty() && !m_committed; }
    //! The temporary file's path; empty when not ready.
    const std::string& getTemporaryPath() const { return m_temporary; }
    //! The file that commit replaces (the target, or the file its link names).
    const std::string& getTargetPath() const { return m_target; }

    //! Syncs the temporary file, gives it the target's permission bits and renames it over
    //! the target. False (temporary file removed, target untouched) when any step fails or
    //! the file is not ready.
    bool commit();

private:
    void discard();

    std::string m_target;
    std::string m_temporary;
    bool m_committed = false;
};

} // namespace kvo::sys
