#pragma once
// Signals: an ordered table of functors, all called when the signal is emitted, in
// ascending order of their connection identifiers. Identifiers start at 1 and are never
// reused by one signal. Signals take no lock.
//
// Connecting or disconnecting from inside an emission is safe: the emission walks a
// snapshot of the identifiers, skips records removed meanwhile, and keeps the record it
// is calling alive until the call returns. Connections made during an emission are called
// from the next emission on.

#include "toolkit/base/CFunctor.h"
#include "toolkit/base/CLocking.h"
#include "toolkit/base/CObject.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace kvo::mod {

class CSignalBase;

//! A connection handle: the signal and the connection identifier. It does not keep the
//! signal alive.
struct CConnection
{
    CSignalBase* signal = nullptr;
    std::int32_t id = 0;
};

//! The part of a signal that does not depend on its signature.
class CSignalBase : public kvo::base::CObject
{
public:
    //! Removes the record with that identifier; an unknown identifier changes nothing.
    virtual void disconnect(std::int32_t id) = 0;
    //! Removes every record.
    virtual void disconnectAll() = 0;
    //! Number of connections.
    virtual std::size_t getCount() const = 0;
};

namespace detail {

template <class R, class List>
class CSignalImpl;
template <class R, class... A>
class CSignalImpl<R, kvo::base::detail::CTypeList<A...>> : public CSignalBase
{
public:
    using tFunctor = kvo::base::detail::CFunctorImpl<R, kvo::base::detail::CTypeList<A...>>;

    CSignalImpl() = default;
    CSignalImpl(const CSignalImpl&) = delete;
    CSignalImpl& operator=(const CSignalImpl&) = delete;

    CConnection connect(const tFunctor& functor)
    {
        const std::int32_t id = ++m_lastId;
        m_records.emplace(id, std::make_shared<CRecord>(CRecord{functor, false}));
        return CConnection{this, id};
    }

    void disconnect(std::int32_t id) override { m_records.erase(id); }
    void disconnectAll() override { m_records.clear(); }
    std::size_t getCount() const override { return m_records.size(); }
    std::int32_t getLastId() const { return m_lastId; }

    //! Blocks or unblocks one connection; a blocked connection is not called.
    void block(std::int32_t id, bool blocked)
    {
        auto found = m_records.find(id);
        if (found != m_records.end())
            found->second->blocked = blocked;
    }

    //! Calls every unblocked functor with the arguments, in ascending identifier order.
    //! An exception raised by a functor ends the emission and reaches the caller.
    void emit(A... args)
    {
        if (m_records.empty())
            return;
        std::vector<std::int32_t> ids;
        ids.reserve(m_records.size());
        for (const auto& record : m_records)
            ids.push_back(record.first);
        for (std::int32_t id : ids)
        {
            auto found = m_records.find(id);
            if (found == m_records.end())
                continue;
            std::shared_ptr<CRecord> record = found->second;
            if (!record->blocked)
                record->functor(args...);
        }
    }
    void operator()(A... args) { emit(args...); }

private:
    struct CRecord
    {
        tFunctor functor;
        bool blocked;
    };
    std::map<std::int32_t, std::shared_ptr<CRecord>> m_records;
    std::int32_t m_lastId = 0;
};

} // namespace detail

template <class R, class P1 = kvo::tNull, class P2 = kvo::tNull, class P3 = kvo::tNull, class P4 = kvo::tNull>
class CSignal : public detail::CSignalImpl<R, kvo::base::detail::tParams<P1, P2, P3, P4>>,
                public kvo::base::CLibraryLockableObject<CSignal<R, P1, P2, P3, P4>>
{
public:
    using tFunctor = kvo::base::CFunctor<R, P1, P2, P3, P4>;
    CSignal() = default;
};

} // namespace kvo::mod
