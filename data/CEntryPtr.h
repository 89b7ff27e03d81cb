#pragma once
// What the storage hands out for a request: a reference to the entry and the request
// flags (bit 0: the object was to be created on first request; bit 1: an object pointer
// built from this brings the object up to date first).

#include "data/CStorageEntry.h"
#include "toolkit/base/CObject.h"

namespace data {

class CEntryPtr
{
public:
    CEntryPtr() = default;
    CEntryPtr(CStorageEntry* entry, int flags) : m_entry(entry), m_flags(flags) {}

    CStorageEntry* get() const { return m_entry.get(); }
    CStorageEntry* operator->() const { return m_entry.get(); }
    CStorageEntry& operator*() const { return *m_entry; }
    explicit operator bool() const { return static_cast<bool>(m_entry); }

    int getFlags() const { return m_flags; }

private:
    kvo::base::CRefPtr<CStorageEntry> m_entry;
    int m_flags = 0;
};

} // namespace data
