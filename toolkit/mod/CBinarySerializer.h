#pragma once
// The block-structured binary stream: objects written as named blocks on a channel and
// found again by name.
//
// Stream layout (integers little-endian):
//   file header, 256 bytes: magic "KVO\0" (0x004F564B), format version 51, 248 zero bytes;
//   blocks, each a 256-byte header (name in 32 bytes, zero-padded, no terminating zero when
//   it has 32 characters; compression method; block size; 216 zero bytes) followed by the
//   block's data: the bytes the block's compressor made, cut into sub-blocks by a block
//   channel of the given size;
//   the terminal header, named "TerminalBlock" with method 0 and block size 0, no data.
//
// An object writes its block between beginWrite and endWrite, and reads it between
// beginRead and endRead; in between, write/read and the typed helpers go through the
// current channel (the block's compressor). Flag bit 0 (FLAG_NO_BLOCKS) drops the framing:
// objects go straight to the base channel with no header, block channel or compressor.
//
// Readers: a block found by name is read through a block channel of the size its header
// gives; blocks with other names are skipped whole, in order. A header whose block size
// exceeds MAX_BLOCK_SIZE is refused (a block channel keeps one sub-block in memory), so a
// damaged header cannot make the reader allocate what the file does not hold.
//
// beginChecksum / endChecksum give the CRC-32 of the bytes that went through write and read
// in between, for blocks that carry a check of their own data.
//
// Failures raise Serializer::CWriteFailed or CReadFailed (an unknown compression method
// raises the compressor factory's failure). Destroying the serializer releases both
// channels; an open block ends with the last reference to its compressor.

#include "toolkit/mod/CChannelSerializer.h"
#include "toolkit/mod/Serializer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kvo::mod {

class CBinarySerializer : public CChannelSerializer<CBinarySerializer>
{
public:
    static constexpr std::uint32_t FILE_MAGIC = 0x004F564Bu;
    static constexpr std::int32_t FILE_VERSION = 51;
    static constexpr std::int32_t HEADER_SIZE = 256;
    static constexpr std::int32_t NAME_SIZE = 32;
    static constexpr const char* TERMINAL_NAME = "TerminalBlock";
    //! The largest block size accepted from a header when reading (16 MiB).
    static constexpr std::int32_t MAX_BLOCK_SIZE = 1 << 24;

    //! A serializer on `channel` (referenced; may be null: every operation then fails).
    explicit CBinarySerializer(CChannel* channel, std::uint32_t flags = 0);
    ~CBinarySerializer() override;

    //! The 256-byte file header; false when fewer bytes were written.
    bool writeFileHeader();
    //! Reads 256 bytes; true only when all came, with the magic and version 51.
    bool checkFileHeader();

    //! A block header; the name is cut to 32 characters. False when not all 256 bytes went.
    bool writeBlockHeader(const std::string& name, std::int32_t method, std::int32_t blockSize);
    bool writeTerminalHeader() { return writeBlockHeader(TERMINAL_NAME, 0, 0); }

    //! Reads headers, skipping the blocks of other names, until the block named `name`;
    //! its data follow then. False at the terminal header, on a short read or a header that
    //! cannot be skipped (block size above MAX_BLOCK_SIZE, damaged sub-blocks).
    bool findBlock(const std::string& name, std::int32_t& method, std::int32_t& blockSize);
    //! Skips blocks up to and including the terminal header; false when none comes.
    bool skipToTerminal();

    //! Opens a block: header, then a block channel of `blockSize` and the compressor
    //! `method` on it become the current channel. CWriteFailed when the header fails.
    void beginWrite(const std::string& name, std::int32_t method, std::int32_t blockSize);
    //! Ends the open block (flush of the current channel); CWriteFailed when it fails.
    void endWrite();
    //! Finds and opens block `name` for reading; CReadFailed when it is missing or its
    //! block size is negative or too large. Returns the block's compression method.
    std::int32_t beginRead(const std::string& name);
    //! Ends the block being read: its unread rest is skipped up to the next header.
    //! CReadFailed when the rest of the block is damaged.
    void endRead();

    //! Raw bytes through the current channel; CWriteFailed / CReadFailed on a failed write
    //! or a short read. Sizes may exceed what one channel call takes.
    void write(const void* data, std::size_t size);
    void read(void* data, std::size_t size);

    void writeInt32(std::int32_t value) { write(&value, sizeof value); }
    void writeUInt32(std::uint32_t value) { write(&value, sizeof value); }
    std::int32_t readInt32()
    {
        std::int32_t value = 0;
        read(&value, sizeof value);
        return value;
    }
    std::uint32_t readUInt32()
    {
        std::uint32_t value = 0;
        read(&value, sizeof value);
        return value;
    }
    //! Arrays of plain values, as they lie in memory (little-endian machines).
    template <class T>
    void writeArray(const T* values, std::size_t count) { write(values, count * sizeof(T)); }
    template <class T>
    void readArray(T* values, std::size_t count) { read(values, count * sizeof(T)); }

    //! Starts a CRC-32 (zlib's polynomial) over every byte written or read from now on.
    void beginChecksum()
    {
        m_checksumOn = true;
        m_checksum = 0;
    }
    //! Stops the CRC-32 and returns it.
    std::uint32_t endChecksum()
    {
        m_checksumOn = false;
        return m_checksum;
    }

private:
    struct CHeader
    {
        char name[NAME_SIZE];
        std::int32_t method;
        std::int32_t blockSize;
    };
    //! Reads one block header; false on a short read.
    bool readBlockHeader(CHeader& header);
    //! Skips the data of a block of the given size; false when it cannot.
    bool skipBlock(std::int32_t blockSize);
    static bool nameMatches(const char (&stored)[NAME_SIZE], const std::string& name);
    void addToChecksum(const void* data, std::size_t size);

    bool m_checksumOn = false;
    std::uint32_t m_checksum = 0;
};

using CBinarySerializerPtr = kvo::base::CRefPtr<CBinarySerializer>;

} // namespace kvo::mod
