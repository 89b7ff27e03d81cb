#pragma once
// Locking policies. CLockableObject gives each object its own recursive critical section;
// CLibraryLockableClass / CLibraryLockableObject take the lock type as a policy, which in
// this system is the no-locking CNoLocking for the log, the channels and the signals.

#include "toolkit/sys/CCriticalSection.h"

namespace kvo::base {

//! A lock that does nothing.
template <class T>
class CNoLocking
{
public:
    void lock() noexcept {}
    void unlock() noexcept {}
};

//! Scoped guard over anything with lock() and unlock().
template <class L>
class CScopedLock
{
public:
    explicit CScopedLock(L& lock) : m_lock(lock) { m_lock.lock(); }
    ~CScopedLock() { m_lock.unlock(); }
    CScopedLock(const CScopedLock&) = delete;
    CScopedLock& operator=(const CScopedLock&) = delete;

private:
    L& m_lock;
};

//! Each object has its own recursive critical section.
template <class T>
class CLockableObject
{
public:
    CLockableObject() = default;
    CLockableObject(const CLockableObject&) {}
    CLockableObject& operator=(const CLockableObject&) { return *this; }

    void lock() const { m_criticalSection.lock(); }
    void unlock() const { m_criticalSection.unlock(); }

    //! Enters the object's lock on construction and leaves it on destruction.
    class CLock
    {
    public:
        explicit CLock(const CLockableObject& object) : m_object(object) { m_object.lock(); }
        ~CLock() { m_object.unlock(); }
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;

    private:
        const CLockableObject& m_object;
    };

private:
    mutable kvo::sys::CCriticalSection m_criticalSection;
};

//! One lock of policy L per object.
template <class T, template <class> class L = CNoLocking>
class CLibraryLockableObject
{
public:
    void lock() const { m_lock.lock(); }
    void unlock() const { m_lock.unlock(); }

private:
    mutable L<T> m_lock;
};

//! One lock of policy L shared by all objects of class T in a library.
template <class T, template <class> class L = CNoLocking>
class CLibraryLockableClass
{
public:
    static void lock() { getLock().lock(); }
    static void unlock() { getLock().unlock(); }

private:
    static L<T>& getLock()
    {
        static L<T> lockInstance;
        return lockInstance;
    }
};

} // namespace kvo::base
