#pragma once
// Base of every object kept in a storage entry. Reference counted: the entry holds one
// reference, object pointers reach the object only through the entry.
//
// The defaults describe an object without derived state: update does nothing, every
// change of an entry it depends on concerns it, and it always has data.

#include "data/CChangedEntries.h"
#include "toolkit/base/CObject.h"

namespace kvo::mod {
class CBinarySerializer;
}

namespace data {

class CStorageEntry;

class CStorableData : public kvo::base::CObject
{
public:
    ~CStorableData() override = default;

    //! Brings the object up to date after the listed entries changed. Called with the
    //! entry's data lock held.
    virtual void update(const CChangedEntries&) {}

    //! Called once after the factory created the object, before it is installed.
    virtual void init() {}

    //! Whether a change of the given entry concerns this object. False stops the change
    //! from reaching this entry and everything that depends on it.
    virtual bool checkDependency(CStorageEntry*) { return true; }

    virtual bool hasData() { return true; }

    virtual void serialize(kvo::mod::CBinarySerializer&) {}
    virtual void deserialize(kvo::mod::CBinarySerializer&) {}
};

} // namespace data
