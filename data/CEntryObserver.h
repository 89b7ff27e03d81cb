#pragma once
// Receives the change notifications of the storage entries it is connected to. The
// handler `changed` runs synchronously on the thread that invalidates, with no entry lock
// held. Destroying the observer disconnects it from every entry, so it must be destroyed
// before the storage; a destroyed observer is never called.

#include "toolkit/base/CLocking.h"
#include "toolkit/mod/CSignal.h"

#include <vector>

namespace data {

class CStorageEntry;

class CEntryObserver : public kvo::base::CLockableObject<CEntryObserver>
{
public:
    CEntryObserver() = default;
    virtual ~CEntryObserver();
    CEntryObserver(const CEntryObserver&) = delete;
    CEntryObserver& operator=(const CEntryObserver&) = delete;

    //! Called with the entry after a change of it was recorded.
    virtual void changed(CStorageEntry* entry) = 0;

    //! Connects `changed` to the entry's change signal; a null entry does nothing.
    void connectEntry(CStorageEntry* entry);

    //! Number of connections made so far.
    std::size_t getConnectionCount() const;

private:
    std::vector<kvo::mod::CConnection> m_connections;
};

} // namespace data
