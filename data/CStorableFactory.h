#pragma once
// Creates the objects of the storage entries and knows which entries each depends on.
// The host registers a creation function and a dependency set per identifier before the
// entries are first requested. One process-wide instance per library (lifetime 1024);
// a storage may also be given a factory of its own.

#include "data/CObjectHolder.h"
#include "data/CStorableData.h"
#include "toolkit/base/CFunctor.h"
#include "toolkit/base/CSingleton.h"

#include <map>
#include <set>

namespace data {

class CStorableFactory : public kvo::base::CSingleton<1024>
{
public:
    //! Returns a new heap object (reference count 0), or null when it cannot.
    using tCreator = kvo::base::CFunctor<CStorableData*>;

    CStorableFactory() = default;
    CStorableFactory(const CStorableFactory&) = delete;
    CStorableFactory& operator=(const CStorableFactory&) = delete;

    //! The library's instance, created on first use.
    static CStorableFactory& getInstance();

    //! Registers (or replaces) the creation function of an identifier. An empty functor
    //! removes it.
    void registerCreator(int id, const tCreator& creator);

    //! Registers a creation function that makes a CObjectHolder<T> with a default T.
    template <class T>
    void registerObject(int id)
    {
        registerCreator(id, tCreator([]() -> CStorableData* { return new CObjectHolder<T>(); }));
    }

    //! Replaces the set of identifiers that the object of `id` depends on.
    void setDependencies(int id, const std::set<int>& dependencies);
    //! Adds one identifier to the set of `id`.
    void addDependency(int id, int dependsOn);

    bool canCreate(int id) const { return m_creators.count(id) != 0; }

    //! A new object for the identifier; raises kvo::base::Factory::CCannotCreate when no
    //! creation function is registered or the function gives nothing.
    CStorableData* create(int id) const;

    //! The identifiers the object of `id` depends on; empty for unknown identifiers.
    std::set<int> getDependencies(int id) const;

private:
    std::map<int, tCreator> m_creators;
    std::map<int, std::set<int>> m_dependencies;
};

} // namespace data
