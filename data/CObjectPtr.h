#pragma once
// Typed, locking access to the object of a storage entry. While the pointer lives it holds
// the entry's data lock (recursive: nested pointers on one thread are fine, other threads
// wait) and a reference to the entry. Built from a request with REQUEST_UPDATE it first
// brings the object up to date; a failure of that update is written to the log and the
// pointer shows the object as it is.
//
// Raises Storage::CNullEntry for a null entry and Storage::CTypecastFailed when the entry
// holds no CObjectHolder<T>; in both cases nothing stays locked or referenced.

#include "data/CEntryPtr.h"
#include "data/CObjectHolder.h"
#include "data/CStorageEntry.h"
#include "data/StorageExceptions.h"
#include "toolkit/base/CException.h"
#include "toolkit/base/CLog.h"
#include "toolkit/base/CObject.h"

namespace data {

template <class T>
class CObjectPtr
{
public:
    static constexpr int REQUEST_UPDATE = 2;

    explicit CObjectPtr(const CEntryPtr& entry) : CObjectPtr(entry.get(), entry.getFlags()) {}

    //! From an entry and request flags (bit 1: bring the object up to date).
    CObjectPtr(CStorageEntry* entry, int flags) : m_entry(entry)
    {
        if (!m_entry)
            throw Storage::CNullEntry();
        m_entry->lockData();
        auto* holder = dynamic_cast<CObjectHolder<T>*>(m_entry->getObject());
        if (!holder)
        {
            m_entry->unlockData();
            m_entry.reset();
            throw Storage::CTypecastFailed();
        }
        m_object = &holder->getObject();
        if (flags & REQUEST_UPDATE)
            doUpdate();
    }

    ~CObjectPtr()
    {
        m_entry->unlockData();
        m_entry.reset();
    }

    CObjectPtr(const CObjectPtr&) = delete;
    CObjectPtr& operator=(const CObjectPtr&) = delete;

    //! Brings the entry's object up to date; a toolkit exception is logged, not raised.
    void doUpdate()
    {
        if (!m_entry)
            return;
        try
        {
            m_entry->update();
        }
        catch (const kvo::base::CException& exception)
        {
            kvo::base::logStream() << "<note> CObjectPtr::doUpdate(): " << exception.what()
                                   << ", Id = " << m_entry->getId() << std::endl;
        }
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }

    //! The entry, for invalidate.
    CStorageEntry* getEntry() const { return m_entry.get(); }

private:
    kvo::base::CRefPtr<CStorageEntry> m_entry;
    T* m_object = nullptr;
};

} // namespace data
