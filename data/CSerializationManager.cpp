#include "data/CSerializationManager.h"

#include "data/CDataStorage.h"
#include "toolkit/mod/CSerializable.h"

namespace data {

namespace {

using kvo::mod::Serializer::CReadFailed;
using kvo::mod::Serializer::CWriteFailed;

constexpr int REQUEST = CDataStorage::REQUEST_CREATE | CDataStorage::REQUEST_UPDATE;

bool acceptAll(int, int) { return true; }

} // namespace

CSerializationManager::CSerializationManager(CDataStorage& storage) : m_storage(storage), m_progress(&acceptAll) {}

void CSerializationManager::setProgressFunction(const tProgressFunction& function)
{
    m_progress = function.isEmpty() ? tProgressFunction(&acceptAll) : function;
}

bool CSerializationManager::reportProgress()
{
    ++m_done;
    return m_progress(m_done, m_total);
}

bool CSerializationManager::save(kvo::mod::CBinarySerializer& serializer, const std::vector<int>& ids)
{
    m_done = 0;
    std::vector<std::int32_t> kept;
    for (const int id : ids)
    {
        if (!CDataStorage::isValidId(id))
            continue;
        const CEntryPtr entry = m_storage.getEntry(id, 0);
        if (entry && entry->hasData())
            kept.push_back(id);
    }
    m_total = std::int32_t(kept.size());

    if (!serializer.writeFileHeader())
        throw CWriteFailed();
    serializer.beginWrite(BLOCK_NAME, BLOCK_METHOD, BLOCK_SIZE);
    serializer.writeInt32(VERSION);
    serializer.writeInt32(std::int32_t(kept.size()));
    serializer.writeArray(kept.data(), kept.size());
    serializer.endWrite();

    for (const int id : kept)
    {
        const CEntryPtr entry = m_storage.getEntry(id, REQUEST);
        if (!entry)
            throw CWriteFailed();
        entry->serialize(serializer);
        if (!reportProgress())
            return false;
    }
    if (!serializer.writeTerminalHeader())
        throw CWriteFailed();
    return true;
}

void CSerializationManager::readEntryList(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list)
{
    m_done = 0;
    if (!serializer.checkFileHeader())
        throw CReadFailed();
    list.clear();
    serializer.beginRead(BLOCK_NAME);
    const std::int32_t version = serializer.readInt32();
    const std::int32_t count = serializer.readInt32();
    if (version != VERSION || count < 0 || count > MAX_ENTRIES)
        throw CReadFailed();
    for (std::int32_t i = 0; i < count; ++i)
        list.push_back(serializer.readInt32());
    serializer.endRead();
    m_total = count;
}

bool CSerializationManager::load(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list)
{
    readEntryList(serializer, list);
    for (const int id : list)
    {
        if (!CDataStorage::isValidId(id))
            throw CReadFailed();
        const CEntryPtr entry = m_storage.getEntry(id, REQUEST);
        if (!entry)
            throw CReadFailed();
        {
            CStorageEntry::CDataLock lock(*entry);
            if (CStorableData* object = entry->getObject())
                object->init();
        }
        entry->deserialize(serializer);
        m_storage.invalidate(entry.get(), CDataStorage::INVALIDATE_UPDATE);
        if (!reportProgress())
            return false;
    }
    if (!serializer.skipToTerminal())
        throw CReadFailed();
    return true;
}

bool CSerializationManager::loadInto(kvo::mod::CBinarySerializer& serializer, std::vector<int>& list,
                                     const tTargetFunction& target)
{
    readEntryList(serializer, list);
    for (const int id : list)
    {
        kvo::mod::CSerializable* object = target.isEmpty() ? nullptr : target(id);
        if (!object)
            throw CReadFailed();
        object->deserialize(serializer);
        if (!reportProgress())
            return false;
    }
    if (!serializer.skipToTerminal())
        throw CReadFailed();
    return true;
}

} // namespace data
