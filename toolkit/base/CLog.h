#pragma once
// The log: a stream whose finished text is handed to registered outputs. Text collects in
// a put area of 511 characters; an end of line (which flushes) or a full put area passes it
// on. A disabled log passes nothing on.

#include "toolkit/base/CLocking.h"
#include "toolkit/base/CObject.h"
#include "toolkit/base/CSingleton.h"

#include <ostream>
#include <set>
#include <streambuf>

namespace kvo::base {

//! A destination of log text.
class CLogOutput : public CObject
{
public:
    //! Receives one zero-terminated text.
    virtual void write(const char* text) = 0;
};

class CLog : public CObject, public CLibraryLockableClass<CLog>, public std::streambuf
{
public:
    static constexpr int PUT_AREA_SIZE = 512; //!< 511 characters used; a zero always fits

    explicit CLog(bool enabled = true);
    ~CLog() override;
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    std::ostream& getStream() { return *m_stream; }

    //! Adds an output (a reference is kept); adding one twice changes nothing.
    void addOutput(CLogOutput* output);
    //! Removes an output and drops its reference.
    void removeOutput(CLogOutput* output);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void passOn();

    bool m_enabled;
    std::ostream* m_stream;
    std::set<CLogOutput*> m_outputs;
    char m_putArea[PUT_AREA_SIZE];
};

//! The one log of the library, created enabled on first use.
class CGlobalLog : public CLog, public CSingleton<2048>
{
public:
    CGlobalLog() : CLog(true) {}
};

//! Returns the library's global log.
inline CGlobalLog& getGlobalLog() { return CSingletonHolder<CGlobalLog>::getInstance(); }

//! Stream of the global log, for note lines and warnings.
inline std::ostream& logStream() { return getGlobalLog().getStream(); }

} // namespace kvo::base
