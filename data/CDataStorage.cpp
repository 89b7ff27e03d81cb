#include "data/CDataStorage.h"

#include "data/CEntryObserver.h"
#include "data/CStorableFactory.h"
#include "data/StorageExceptions.h"
#include "toolkit/base/CException.h"
#include "toolkit/base/CLog.h"

namespace data {

CDataStorage::CDataStorage(CStorableFactory* factory) : m_factory(factory)
{
    m_entries.reserve(ENTRY_COUNT);
    for (int i = 0; i < ENTRY_COUNT; ++i)
        m_entries.emplace_back(new CStorageEntry());
}

CDataStorage::~CDataStorage() = default;

CDataStorage& CDataStorage::getInstance() { return kvo::base::CSingletonHolder<CDataStorage>::getInstance(); }

CStorableFactory& CDataStorage::getFactory() const
{
    return m_factory ? *m_factory : CStorableFactory::getInstance();
}

CEntryPtr CDataStorage::getEntry(int id, int flags)
{
    if (!isValidId(id))
        throw Storage::CUnknowEntry();

    CStorageEntry* entry = m_entries[id].get();
    if (!entry->initId(id))
        return CEntryPtr(entry, flags);

    CStorableFactory& factory = getFactory();
    if (flags & REQUEST_CREATE)
    {
        try
        {
            // Held by reference from the start, so that a failing init frees the object.
            kvo::base::CRefPtr<CStorableData> object(factory.create(id));
            object->init();
            entry->setObject(object.get());
            try
            {
                entry->update();
            }
            catch (...)
            {
                // A failed first request leaves the entry without object.
                entry->setObject(nullptr);
                throw;
            }
        }
        catch (const kvo::base::CException& exception)
        {
            kvo::base::logStream() << "<note> CDataStorage::getEntry(): " << exception.what() << ", Id = " << id
                                   << std::endl;
        }
    }

    for (int dependsOn : factory.getDependencies(id))
    {
        // Only requestable entries can change; other identifiers would index outside the
        // table or name the never-used entries 0 and 2048.
        if (isValidId(dependsOn))
            m_entries[dependsOn]->addDependent(id);
    }
    return CEntryPtr(entry, flags);
}

CStorageEntry::tSignal& CDataStorage::getEntrySignal(int id)
{
    if (!isValidId(id))
        throw Storage::CUnknowEntry();
    return m_entries[id]->getSignal();
}

void CDataStorage::connectObserver(int id, CEntryObserver* observer)
{
    if (!isValidId(id) || !observer)
        return;
    observer->connectEntry(m_entries[id].get());
}

void CDataStorage::invalidate(CStorageEntry* entry, int flags)
{
    if (!entry)
        return;
    // Keeps the entry alive through the notification even if an observer drops it.
    kvo::base::CRefPtr<CStorageEntry> keep(entry);
    entry->recordChange(entry->getId(), flags);

    std::set<int> affected;
    std::set<int> path{entry->getId()};
    collectDependents(entry, flags, affected, path);

    if (flags & INVALIDATE_UPDATE)
    {
        for (int id : affected)
        {
            try
            {
                m_entries[id]->update();
            }
            catch (const kvo::base::CException&)
            {
                // One failing dependent must not keep the others stale.
            }
        }
    }

    entry->getSignal().emit(entry);
    for (int id : affected)
    {
        CStorageEntry* dependent = m_entries[id].get();
        dependent->getSignal().emit(dependent);
    }
}

void CDataStorage::collectDependents(CStorageEntry* entry, int flags, std::set<int>& affected, std::set<int>& path)
{
    const int changedId = entry->getId();
    for (int id : entry->getDependents())
    {
        if (!isValidId(id) || path.count(id))
            continue;
        CStorageEntry* dependent = m_entries[id].get();
        kvo::base::CRefPtr<CStorableData> object = dependent->getObjectReference();
        if (object && !object->checkDependency(entry))
            continue;
        affected.insert(id);
        dependent->recordChange(changedId, flags);
        path.insert(id);
        collectDependents(dependent, flags, affected, path);
        path.erase(id);
    }
}

} // namespace data
