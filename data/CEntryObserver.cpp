#include "data/CEntryObserver.h"

#include "data/CStorageEntry.h"

namespace data {

CEntryObserver::~CEntryObserver()
{
    CLock lock(*this);
    for (const kvo::mod::CConnection& connection : m_connections)
    {
        if (connection.signal)
            connection.signal->disconnect(connection.id);
    }
    m_connections.clear();
}

void CEntryObserver::connectEntry(CStorageEntry* entry)
{
    if (!entry)
        return;
    CLock lock(*this);
    m_connections.push_back(
        entry->getSignal().connect(CStorageEntry::tSignal::tFunctor(this, &CEntryObserver::changed)));
}

std::size_t CEntryObserver::getConnectionCount() const
{
    CLock lock(*this);
    return m_connections.size();
}

} // namespace data
