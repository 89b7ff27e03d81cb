#pragma once
// An entry observer typed on the object T that the entries hold (in a CObjectHolder<T>).
// On every notification it remembers the entry's version and a copy of the entry's flags
// history, then calls objectChanged with the T, all with the entry's data lock held. It
// does not bring the object up to date. A toolkit exception raised on the way (also a
// wrong object type) is written as one note line to the global log, so the other
// observers of the entry still run.

#include "data/CEntryFlags.h"
#include "data/CEntryObserver.h"
#include "data/CObjectHolder.h"
#include "data/CStorageEntry.h"
#include "data/StorageExceptions.h"
#include "toolkit/base/CException.h"
#include "toolkit/base/CLog.h"

#include <cstdint>

namespace data {

template <class T>
class CObjectObserver : public CEntryObserver
{
public:
    ~CObjectObserver() override = default;

    void changed(CStorageEntry* entry) override
    {
        if (!entry)
            return;
        try
        {
            auto* holder = dynamic_cast<CObjectHolder<T>*>(entry->getObject());
            if (!holder)
                throw Storage::CTypecastFailed();
            T* object = &holder->getObject();
            m_version = entry->getVersion();
            CStorageEntry::CDataLock dataLock(*entry);
            setFlags(entry->getFlags());
            objectChanged(object);
        }
        catch (const kvo::base::CException& exception)
        {
            kvo::base::logStream() << "<note> CObjectObserver::changed(): " << exception.what() << std::endl;
        }
    }

    //! Reacts to a change of the observed object; runs with the entry's data lock held.
    virtual void objectChanged(T* object) = 0;

    //! Replaces the flags seen with a copy of the entry's flags history.
    virtual void setFlags(const CEntryFlags& flags)
    {
        CLock lock(*this);
        m_flags = flags;
    }

    //! The entry's version at the last notification (0 before the first).
    std::uint32_t getVersion() const { CLock lock(*this); return m_version; }
    //! The entry's flags history at the last notification.
    CEntryFlags getFlags() const { CLock lock(*this); return m_flags; }

private:
    std::uint32_t m_version = 0;
    CEntryFlags m_flags;
};

} // namespace data
