#pragma once
// Base of undo snapshots: what a provider recorded of its state, an identifier given by the
// history on insertion (0 before), a kind (KIND_VOLUME for everything a volume provider
// takes) and the provider that made it and can restore it (not owned; it must outlive the
// snapshot's use, which the history's owner guarantees).
//
// Snapshots are reference counted; the history owns the ones inserted into it.

#include "toolkit/base/CObject.h"

#include <cstddef>
#include <cstdint>

namespace data {

class CUndoProvider;

class CSnapshot : public kvo::base::CObject
{
public:
    //! Kind of every snapshot taken by a volume provider.
    static constexpr std::int32_t KIND_VOLUME = 1;

    CSnapshot(std::int32_t kind, CUndoProvider* provider) : m_kind(kind), m_provider(provider) {}
    ~CSnapshot() override = default;
    CSnapshot(const CSnapshot&) = delete;
    CSnapshot& operator=(const CSnapshot&) = delete;

    //! Bytes that the snapshot's data occupy (what the history counts against its limit).
    virtual std::size_t getDataSize() const { return 0; }

    std::uint32_t getId() const { return m_id; }
    void setId(std::uint32_t id) { m_id = id; }
    std::int32_t getKind() const { return m_kind; }
    CUndoProvider* getProvider() const { return m_provider; }

private:
    std::uint32_t m_id = 0;
    std::int32_t m_kind;
    CUndoProvider* m_provider;
};

} // namespace data
