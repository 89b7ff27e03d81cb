#pragma once
// Byte channels: the toolkit's byte streams. The serializer writes and reads through one,
// compressors and predictors wrap another, the segmentation file is a file channel.
//
// A channel is a reference-counted toolkit object (heap channels die with their last holder).
// Mode flags: CH_IN (read), CH_OUT (written); wrapping channels take the flags of the channel
// they wrap and OR in their own bit (CH_COMPRESSOR, CH_PREDICTOR). The type code names the
// kind of the underlying end point (CH_TYPE_FILE for files); a wrapping channel copies it.
// Channels are not locked: one thread uses a channel at a time.

#include "toolkit/base/CException.h"
#include "toolkit/base/CLocking.h"
#include "toolkit/base/CObject.h"

#include <cstdint>

namespace kvo::mod {

//! Names of the channel kinds, in the order of their type codes.
inline constexpr const char* CH_NAME_NULL = "null";
inline constexpr const char* CH_NAME_STDIO = "stdio";
inline constexpr const char* CH_NAME_FILE = "file";
inline constexpr const char* CH_NAME_PIPE = "pipe";
inline constexpr const char* CH_NAME_SHM = "shm";

//! Name prefixes of named system objects.
inline constexpr const char* NAMED_PIPE_PREFIX = "\\\\.\\pipe\\kvo::CNamedPipe::";
inline constexpr const char* SEMAPHORE_PREFIX = "kvo::CSemaphore::";
inline constexpr const char* SHARED_MEMORY_PREFIX = "kvo::CSharedMem::";

class CChannel : public kvo::base::CObject, public kvo::base::CLibraryLockableObject<CChannel>
{
public:
    //! Mode flags.
    enum EMode : std::int32_t
    {
        CH_IN = 1,
        CH_OUT = 2,
        CH_COMPRESSOR = 4,
        CH_PREDICTOR = 8,
    };

    //! Type codes of the end points.
    enum EType : std::int32_t
    {
        CH_TYPE_NULL = 0,
        CH_TYPE_STDIO = 1,
        CH_TYPE_FILE = 2,
        CH_TYPE_PIPE = 3,
        CH_TYPE_SHM = 4,
    };

    KVO_DECLARE_EXCEPTION(CCannotCreate, "Failed to create a new channel");

    explicit CChannel(std::int32_t mode = 0, std::int32_t type = CH_TYPE_NULL) : m_mode(mode), m_type(type) {}
    CChannel(const CChannel&) = delete;
    CChannel& operator=(const CChannel&) = delete;
    ~CChannel() override = default;

    //! True when the channel is usable (timeout in milliseconds, ignored by most kinds).
    virtual bool waitForConnection(unsigned timeout = 0) = 0;
    //! True when the channel is usable.
    virtual bool connect(unsigned timeout = 0) = 0;
    //! Closes the end point.
    virtual void disconnect() = 0;
    //! True while data can still flow.
    virtual bool isConnected() = 0;
    //! True when data can be read now.
    virtual bool waitForData(unsigned timeout = 0) = 0;
    //! Reads up to length bytes into buffer; returns the number read (0 on any failure).
    virtual std::int32_t read(char* buffer, std::int32_t length) = 0;
    //! Writes length bytes; true when all were written.
    virtual bool write(const char* data, std::int32_t length) = 0;
    //! Pushes buffered data out; block channels and compressors also end their block.
    virtual bool flush() = 0;
    //! Input: reads and drops length bytes; output: writes length zero bytes. Works in
    //! pieces of at most 64 bytes. False when both mode bits are set, when a piece comes
    //! short or a write fails; a length of 0 or less gives true.
    virtual bool skip(std::int32_t length);

    std::int32_t getMode() const { return m_mode; }
    std::int32_t getType() const { return m_type; }
    bool isInput() const { return (m_mode & CH_IN) != 0; }
    bool isOutput() const { return (m_mode & CH_OUT) != 0; }

protected:
    void setMode(std::int32_t mode) { m_mode = mode; }
    void setType(std::int32_t type) { m_type = type; }

private:
    std::int32_t m_mode;
    std::int32_t m_type;
};

using CChannelPtr = kvo::base::CRefPtr<CChannel>;

} // namespace kvo::mod
