#include "data/CStorageEntry.h"

namespace data {

bool CStorageEntry::hasData()
{
    CDataLock dataLock(*this);
    kvo::base::CRefPtr<CStorableData> object = getObjectReference();
    return object && object->hasData();
}

void CStorageEntry::serialize(kvo::mod::CBinarySerializer& serializer)
{
    CDataLock dataLock(*this);
    if (kvo::base::CRefPtr<CStorableData> object = getObjectReference())
        object->serialize(serializer);
}

void CStorageEntry::deserialize(kvo::mod::CBinarySerializer& serializer)
{
    CDataLock dataLock(*this);
    if (kvo::base::CRefPtr<CStorableData> object = getObjectReference())
        object->deserialize(serializer);
}

void CStorageEntry::update()
{
    // Most requests find the entry clean; they should not wait for the data lock.
    {
        CLock lock(*this);
        if (!m_object || !(m_state & STATE_DIRTY))
            return;
    }
    // The data lock comes first: an object pointer holds it when it asks for an update,
    // so taking the entry lock first here could deadlock against it.
    CDataLock dataLock(*this);
    CLock lock(*this);
    if (!m_object || !(m_state & STATE_DIRTY))
        return;
    m_object->update(m_changes);
    ++m_version;
    clearChanges();
}

void CStorageEntry::setChanged(int id, int flags)
{
    CLock lock(*this);
    m_changes.insert(id);
    m_flags.insert(flags);
    m_state |= STATE_DIRTY;
}

void CStorageEntry::recordChange(int id, int flags)
{
    CLock lock(*this);
    setChanged(id, flags);
    ++m_version;
}

void CStorageEntry::clearChanges()
{
    CLock lock(*this);
    m_changes.clear();
    m_flags.clear();
    m_state &= ~STATE_DIRTY;
}

void CStorageEntry::lockData() { m_dataLock.lock(); }

void CStorageEntry::unlockData() { m_dataLock.unlock(); }

bool CStorageEntry::tryLockData() { return m_dataLock.tryLock(); }

void CStorageEntry::setObject(CStorableData* object)
{
    // Under the data lock too, so that no object pointer sees the object go away.
    CDataLock dataLock(*this);
    kvo::base::CRefPtr<CStorableData> previous;
    {
        CLock lock(*this);
        previous = m_object;
        m_object = object;
    }
    // The previous object dies here, outside the entry lock.
}

void CStorageEntry::setId(int id)
{
    CLock lock(*this);
    m_id = id;
    m_dataId = id;
}

bool CStorageEntry::initId(int id)
{
    CLock lock(*this);
    if (m_id == id)
        return false;
    setId(id);
    return true;
}

void CStorageEntry::addDependent(int id)
{
    CLock lock(*this);
    m_dependents.insert(id);
}

} // namespace data
