#pragma once
// A recursive critical section: the same thread may enter it several times and must leave
// it as often; other threads block until it is left completely.

#include "toolkit/base/CObject.h"

#include <mutex>

namespace kvo::sys {

class CCriticalSection : public kvo::base::CObject
{
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void lock() { m_mutex.lock(); }
    bool tryLock() { return m_mutex.try_lock(); }
    void unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

} // namespace kvo::sys
