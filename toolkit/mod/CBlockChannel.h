#pragma once
// A channel that cuts one block of a stream into length-prefixed sub-blocks on the channel
// it wraps, so that a reader finds the end of the block without knowing its contents.
//
// Sub-block layout in the wrapped channel (little-endian 32-bit integers):
//   offset 0: marker SUBBLOCK_MARKER (0x00005A53), offset 4: length n (0 <= n <= block
//   size), offset 8: n data bytes.
// A block is a run of sub-blocks of exactly block-size bytes closed by one shorter
// sub-block (possibly empty).
//
// One block channel serves one block: create it just after the block's header was written
// or found; flush() (also run by the destructor) ends the block: a writer writes the last
// sub-block, a reader skips to just after the block's last sub-block. A damaged sub-block
// header ends reading quietly (a short read); flush() then reports false.
// The wrapped channel is referenced for the block channel's life.

#include "toolkit/mod/CChannel.h"

#include <memory>

namespace kvo::mod {

class CBlockChannel : public CChannel
{
public:
    static constexpr std::int32_t SUBBLOCK_MARKER = 23123;
    static constexpr std::int32_t MIN_BLOCK_SIZE = 64;
    static constexpr std::int32_t HEADER_SIZE = 8;

    //! blockSize is raised to MIN_BLOCK_SIZE when smaller. Takes the mode flags and the
    //! type code of channel (which may be null: nothing then flows).
    CBlockChannel(std::int32_t blockSize, CChannel* channel);
    ~CBlockChannel() override;

    bool waitForConnection(unsigned timeout = 0) override;
    bool connect(unsigned timeout = 0) override;
    void disconnect() override;
    bool isConnected() override;
    bool waitForData(unsigned timeout = 0) override;
    //! Hands out bytes of the block; stops at its end or at a damaged sub-block.
    std::int32_t read(char* buffer, std::int32_t length) override;
    //! Buffers data; a full buffer goes out as a sub-block only when more data arrive.
    bool write(const char* data, std::int32_t length) override;
    //! Ends the block (see above); true once the end was written or reached.
    bool flush() override;

    std::int32_t getBlockSize() const { return m_blockSize; }
    bool isEndOfBlock() const { return m_endOfBlock; }

private:
    bool writeSubBlock(std::int32_t length);
    //! Reads one sub-block header; its length, or -1 when short or damaged.
    std::int32_t readHeader();
    bool readFully(char* buffer, std::int32_t length);

    std::int32_t m_blockSize;
    std::unique_ptr<char[]> m_buffer;
    std::int32_t m_position = 0;
    std::int32_t m_left = 0;     //!< space left (writing) or unread bytes (reading)
    bool m_endOfBlock = false;
    bool m_damaged = false;      //!< a damaged sub-block was met while reading
    CChannelPtr m_channel;
};

} // namespace kvo::mod
