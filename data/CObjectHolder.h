#pragma once
// The form in which an object of type T sits in a storage entry: a storable object that
// owns one T by value. The storable operations are forwarded to T where T provides a
// member of the same name and signature; otherwise the defaults of CStorableData apply.
// Typed access (CObjectPtr, CObjectObserver) finds the T by a run-time cast of the
// entry's object to CObjectHolder<T>, so a host may also derive from this holder to give
// an object derived state.

#include "data/CStorableData.h"

#include <concepts>
#include <utility>

namespace data {

template <class T>
class CObjectHolder : public CStorableData
{
public:
    using tObject = T;

    //! Constructs the held T from the arguments.
    template <class... A>
    explicit CObjectHolder(A&&... args) : m_object(std::forward<A>(args)...) {}

    CObjectHolder(const CObjectHolder&) = delete;
    CObjectHolder& operator=(const CObjectHolder&) = delete;

    T& getObject() { return m_object; }
    const T& getObject() const { return m_object; }

    void update(const CChangedEntries& changes) override
    {
        if constexpr (requires(T& t) { t.update(changes); })
            m_object.update(changes);
    }

    void init() override
    {
        if constexpr (requires(T& t) { t.init(); })
            m_object.init();
    }

    bool checkDependency(CStorageEntry* entry) override
    {
        if constexpr (requires(T& t) { { t.checkDependency(entry) } -> std::convertible_to<bool>; })
            return m_object.checkDependency(entry);
        else
            return true;
    }

    bool hasData() override
    {
        if constexpr (requires(T& t) { { t.hasData() } -> std::convertible_to<bool>; })
            return m_object.hasData();
        else
            return true;
    }

    void serialize(kvo::mod::CBinarySerializer& serializer) override
    {
        if constexpr (requires(T& t) { t.serialize(serializer); })
            m_object.serialize(serializer);
    }

    void deserialize(kvo::mod::CBinarySerializer& serializer) override
    {
        if constexpr (requires(T& t) { t.deserialize(serializer); })
            m_object.deserialize(serializer);
    }

private:
    T m_object;
};

} // namespace data
