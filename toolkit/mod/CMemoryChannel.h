#pragma once
// A channel over a byte buffer in memory: what is written is appended to the buffer, what
// is read comes from the buffer in order. Used to serialize into memory and to feed the
// readers bytes that did not come from a file (tests, fuzzing).
//
// An input channel is connected while unread bytes remain; an output channel always is.
// Reading and writing follow the file channel's rules: 0 or false outside the mode, without
// a buffer or with a negative length.

#include "toolkit/mod/CChannel.h"

#include <cstddef>
#include <vector>

namespace kvo::mod {

class CMemoryChannel : public CChannel
{
public:
    //! An output channel over an empty buffer, or an input channel over `bytes`.
    explicit CMemoryChannel(std::int32_t mode, std::vector<char> bytes = {});
    //! An input channel over a copy of `size` bytes at `data`.
    CMemoryChannel(const void* data, std::size_t size);

    bool waitForConnection(unsigned timeout = 0) override;
    bool connect(unsigned timeout = 0) override;
    void disconnect() override {}
    bool isConnected() override;
    bool waitForData(unsigned timeout = 0) override;
    std::int32_t read(char* buffer, std::int32_t length) override;
    bool write(const char* data, std::int32_t length) override;
    bool flush() override { return true; }

    const std::vector<char>& getBytes() const { return m_bytes; }
    std::size_t getReadPosition() const { return m_position; }

private:
    std::vector<char> m_bytes;
    std::size_t m_position = 0;
};

} // namespace kvo::mod
