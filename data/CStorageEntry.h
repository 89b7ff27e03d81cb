#pragma once
// One numbered entry of the data storage: at most one object, the identifiers of the
// entries that depend on it, the changes recorded since its object was last brought up to
// date, and a change signal.
//
// Two recursive locks: the entry lock (CLockableObject) guards the bookkeeping (state,
// version, change set, flags history, dependents, object installation); the data lock
// guards the object itself and is held by object pointers while they live. Where both are
// needed, the data lock is taken first.
//
// The entry is reached from plug-in libraries that carry their own copy of this code, so
// every operation that changes the bookkeeping is virtual (the owner's code runs) and the
// inline accessors touch only the entry's own members.

#include "data/CChangedEntries.h"
#include "data/CEntryFlags.h"
#include "data/CStorableData.h"
#include "toolkit/base/CLocking.h"
#include "toolkit/base/CObject.h"
#include "toolkit/mod/CSerializable.h"
#include "toolkit/mod/CSignal.h"
#include "toolkit/sys/CCriticalSection.h"

#include <cstdint>
#include <set>

namespace data {

class CStorageEntry : public kvo::base::CObject,
                      public kvo::base::CLockableObject<CStorageEntry>,
                      public kvo::mod::CSerializable
{
public:
    //! The change signal: emitted with the entry after a change was recorded.
    using tSignal = kvo::mod::CSignal<void, CStorageEntry*>;

    static constexpr std::uint32_t STATE_DIRTY = 1;      //!< changes recorded since the last update
    static constexpr std::uint32_t INITIAL_VERSION = 2;

    CStorageEntry() = default;
    ~CStorageEntry() override = default;
    CStorageEntry(const CStorageEntry&) = delete;
    CStorageEntry& operator=(const CStorageEntry&) = delete;

    //! False without an object, otherwise the object's answer under the data lock.
    virtual bool hasData();

    //! Forwarded to the object under the data lock; nothing without an object.
    void serialize(kvo::mod::CBinarySerializer& serializer) override;
    void deserialize(kvo::mod::CBinarySerializer& serializer) override;

    //! Brings a dirty object up to date with the recorded changes, counts the version
    //! and clears the changes. Nothing happens without an object or when clean. An
    //! exception of the object's update leaves the entry dirty and reaches the caller.
    virtual void update();

    //! Records that the change of entry `id` with flags `flags` reached this entry and
    //! marks it dirty. The flags history may refuse the value (see CEntryFlags).
    virtual void setChanged(int id, int flags);

    //! setChanged and one more version, as one step under the entry lock.
    virtual void recordChange(int id, int flags);

    //! Empties the change set and the flags history and clears the dirty bit.
    virtual void clearChanges();

    //! Enters / leaves the data lock (recursive). tryLockData does not wait and returns
    //! whether the lock was taken.
    virtual void lockData();
    virtual void unlockData();
    virtual bool tryLockData();

    //! Installs the object (a reference is kept; the previous object is released). Null
    //! removes the object.
    virtual void setObject(CStorableData* object);

    //! Sets both copies of the identifier.
    virtual void setId(int id);

    //! Sets the identifier unless it already is `id`, as one step. Returns true when it
    //! was set, i.e. this is the entry's first request under that identifier.
    virtual bool initId(int id);

    //! Adds the identifier of an entry that depends on this one.
    virtual void addDependent(int id);

    int getId() const { CLock lock(*this); return m_id; }
    //! The copy of the identifier kept with the data lock.
    int getDataId() const { CLock lock(*this); return m_dataId; }
    std::uint32_t getVersion() const { CLock lock(*this); return m_version; }
    std::uint32_t getState() const { CLock lock(*this); return m_state; }
    bool isDirty() const { return (getState() & STATE_DIRTY) != 0; }

    //! The object (not referenced), null when none. Stable while the data lock is held.
    CStorableData* getObject() const { CLock lock(*this); return m_object.get(); }
    kvo::base::CRefPtr<CStorableData> getObjectReference() const { CLock lock(*this); return m_object; }

    //! Copies, taken under the entry lock.
    std::set<int> getDependents() const { CLock lock(*this); return m_dependents; }
    CChangedEntries getChanges() const { CLock lock(*this); return m_changes; }
    CEntryFlags getFlags() const { CLock lock(*this); return m_flags; }

    tSignal& getSignal() { return m_signal; }

    //! Holds the entry's data lock for a scope.
    class CDataLock
    {
    public:
        explicit CDataLock(CStorageEntry& entry) : m_entry(entry) { m_entry.lockData(); }
        ~CDataLock() { m_entry.unlockData(); }
        CDataLock(const CDataLock&) = delete;
        CDataLock& operator=(const CDataLock&) = delete;

    private:
        CStorageEntry& m_entry;
    };

private:
    std::int32_t m_id = 0;
    std::uint32_t m_state = 0;
    std::uint32_t m_version = INITIAL_VERSION;
    kvo::base::CRefPtr<CStorableData> m_object;
    std::set<int> m_dependents;
    tSignal m_signal;
    CChangedEntries m_changes;
    CEntryFlags m_flags;

    kvo::sys::CCriticalSection m_dataLock;
    std::int32_t m_dataId = 0;
};

} // namespace data
