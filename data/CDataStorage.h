#pragma once
// The data storage: a fixed table of 2049 entries, of which the identifiers 1..2047 can
// be requested (0 and 2048 exist but are never handed out). Entries get their objects from
// the storage's own factory, or from the library's process-wide one when none was given.
//
// The host owns the storage; plug-in libraries, each with its own copy of this code,
// reach it through their bindings. The operations they call are virtual, so the host's
// code (with the host's factory and log) runs whichever library makes the call.
//
// The dependency relation between entries is expected to be acyclic; a cycle is cut where
// it closes, so a change still reaches every entry once along each path.

#include "data/CEntryPtr.h"
#include "data/CStorageEntry.h"
#include "toolkit/base/CObject.h"
#include "toolkit/base/CSingleton.h"

#include <set>
#include <vector>

namespace data {

class CEntryObserver;
class CStorableFactory;

class CDataStorage : public kvo::base::CObject, public kvo::base::CSingleton<1024>
{
public:
    static constexpr int ENTRY_COUNT = 2049;
    static constexpr int FIRST_ID = 1;
    static constexpr int LAST_ID = 2047;

    //! Request flags of getEntry.
    static constexpr int REQUEST_CREATE = 1; //!< create the object on the first request
    static constexpr int REQUEST_UPDATE = 2; //!< object pointers bring the object up to date
    //! Flag of invalidate: bring every affected dependent up to date at once.
    static constexpr int INVALIDATE_UPDATE = 2;

    //! A storage that uses `factory` (not owned; null: the process-wide factory).
    explicit CDataStorage(CStorableFactory* factory = nullptr);
    ~CDataStorage() override;
    CDataStorage(const CDataStorage&) = delete;
    CDataStorage& operator=(const CDataStorage&) = delete;

    //! The library's own storage singleton. Plug-in code uses its bindings' storage.
    static CDataStorage& getInstance();

    void setFactory(CStorableFactory* factory) { m_factory = factory; }
    //! The factory in use: the storage's own or the process-wide one.
    CStorableFactory& getFactory() const;

    static bool isValidId(int id) { return id >= FIRST_ID && id <= LAST_ID; }

    //! Returns entry `id` with the request flags. On the first request the entry takes its
    //! identifier, gets its object when `flags` has REQUEST_CREATE (a failure is written to
    //! the log and leaves the entry without object) and joins the dependents of the
    //! entries it depends on. Raises Storage::CUnknowEntry for an id outside 1..2047.
    virtual CEntryPtr getEntry(int id, int flags);

    //! The change signal of entry `id`; creates nothing. Raises Storage::CUnknowEntry for
    //! an id outside 1..2047.
    virtual CStorageEntry::tSignal& getEntrySignal(int id);

    //! Connects the observer to entry `id`. An id outside 1..2047 or a null observer does
    //! nothing.
    virtual void connectObserver(int id, CEntryObserver* observer);

    //! Records a change of the entry with `flags`, passes it on to every dependent whose
    //! object accepts it (recursively), brings those up to date when `flags` has
    //! INVALIDATE_UPDATE (failures dropped), then emits the change signal of the entry
    //! and of each affected dependent in ascending order of identifiers, with no entry
    //! lock held. A null entry does nothing.
    virtual void invalidate(CStorageEntry* entry, int flags);
    void invalidate(const CEntryPtr& entry, int flags) { invalidate(entry.get(), flags); }

private:
    //! Adds to `affected` the dependents of `entry` that accept its change, recursively.
    //! `path` holds the entries on the way from the invalidated entry, to cut cycles.
    void collectDependents(CStorageEntry* entry, int flags, std::set<int>& affected, std::set<int>& path);

    std::vector<kvo::base::CRefPtr<CStorageEntry>> m_entries;
    CStorableFactory* m_factory;
};

} // namespace data
