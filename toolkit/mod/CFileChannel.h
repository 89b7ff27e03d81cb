#pragma once
// A channel on a file, through the standard library's buffered streams.
//
// Mode CH_IN opens the file for reading ("rb"), CH_OUT for writing ("wb": created or
// truncated); both at once raise CChannel::CCannotCreate. A file that cannot be opened
// raises nothing: the channel stays unconnected, reads give 0 and writes and flush false.
// The destructor flushes and closes an open file.

#include "toolkit/mod/CChannel.h"

#include <cstdio>
#include <string>

namespace kvo::mod {

class CFileChannel : public CChannel
{
public:
    //! path is a narrow (multibyte) file name. Throws CCannotCreate for mode CH_IN | CH_OUT.
    CFileChannel(std::int32_t mode, const std::string& path);
    ~CFileChannel() override;

    //! True when the file is open and neither at its end nor in error; the timeout is ignored.
    bool waitForConnection(unsigned timeout = 0) override;
    bool connect(unsigned timeout = 0) override;
    //! Flushes and closes an open file.
    void disconnect() override;
    //! Input: false at end of file or on an error (peeks one character). Output: true unless
    //! the file is in error. False without a file.
    bool isConnected() override;
    //! True only in input mode with an open file that is neither at its end nor in error.
    bool waitForData(unsigned timeout = 0) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    bool write(const char* data, std::int32_t length) override;
    bool flush() override;

    bool isOpen() const { return m_file != nullptr; }

private:
    bool isUsable() const;

    std::FILE* m_file = nullptr;
};

} // namespace kvo::mod
