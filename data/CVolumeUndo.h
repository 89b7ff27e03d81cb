#pragma once
// The undo provider of a volume of 16-bit voxels (V: kvo::img::CVolume<std::uint16_t>), used
// as a base of the volume class itself (CRegionData), so it refers to its own object.
//
// After a restore the provider can announce the change of the volume's storage entry: when
// the switch is on, the entry `id` of `storage` is requested (create flag only) and marked
// changed with flags 0, which notifies the entry's observers. The storage, the entry
// identifier and the switch are set by whoever put the volume into a storage (the host for
// entry 501); a new provider has no storage, identifier 0 and the switch off, and so does
// the provider of a copied volume.

#include "data/CDataStorage.h"
#include "data/CPlaneSnapshot.h"
#include "data/CUndoProvider.h"
#include "data/CVolumeSnapshot.h"

#include <cstdint>

namespace data {

template <class V>
class CVolumeUndo : public CUndoProvider
{
public:
    using tVolumeSnapshot = CVolumeSnapshot<V>;
    using tPlaneXYSnapshot = CPlaneXYSnapshot<V>;
    using tPlaneXZSnapshot = CPlaneXZSnapshot<V>;
    using tPlaneYZSnapshot = CPlaneYZSnapshot<V>;

    //! A provider for `volume` (not owned; normally the object this provider is part of).
    explicit CVolumeUndo(V* volume) : m_volume(volume) {}
    CVolumeUndo(const CVolumeUndo&) = delete;
    CVolumeUndo& operator=(const CVolumeUndo&) = delete;

    //! Where a restore announces itself: entry `id` (1..2047) of `storage` (not owned; it
    //! must outlive the provider or be reset), when `markChanged` is set.
    void setUndoEntry(CDataStorage* storage, std::int32_t id, bool markChanged)
    {
        m_storage = storage;
        m_entryId = id;
        m_markChanged = markChanged;
    }
    std::int32_t getUndoEntryId() const { return m_entryId; }
    bool isMarkingChanged() const { return m_markChanged; }
    CDataStorage* getUndoStorage() const { return m_storage; }
    V* getUndoVolume() const { return m_volume; }

    tSnapshotPtr createSnapshotLike(const CSnapshot* snapshot) override
    {
        if (!snapshot)
            return nullptr;
        if (dynamic_cast<const tVolumeSnapshot*>(snapshot))
            return createVolumeSnapshot();
        if (auto* plane = dynamic_cast<const tPlaneXYSnapshot*>(snapshot))
            return createPlaneXYSnapshot(plane->getIndex());
        if (auto* plane = dynamic_cast<const tPlaneXZSnapshot*>(snapshot))
            return createPlaneXZSnapshot(plane->getIndex());
        if (auto* plane = dynamic_cast<const tPlaneYZSnapshot*>(snapshot))
            return createPlaneYZSnapshot(plane->getIndex());
        return nullptr;
    }

    void restore(const CSnapshot* snapshot) override
    {
        if (!snapshot || !m_volume)
            return;
        if (auto* whole = dynamic_cast<const tVolumeSnapshot*>(snapshot))
            whole->restore(*m_volume);
        else if (auto* xy = dynamic_cast<const tPlaneXYSnapshot*>(snapshot))
            xy->writeTo(*m_volume);
        else if (auto* xz = dynamic_cast<const tPlaneXZSnapshot*>(snapshot))
            xz->writeTo(*m_volume);
        else if (auto* yz = dynamic_cast<const tPlaneYZSnapshot*>(snapshot))
            yz->writeTo(*m_volume);
        else
            return;
        if (m_markChanged && m_storage && CDataStorage::isValidId(m_entryId))
        {
            const CEntryPtr entry = m_storage->getEntry(m_entryId, CDataStorage::REQUEST_CREATE);
            m_storage->invalidate(entry, 0);
        }
    }

    tSnapshotPtr createVolumeSnapshot() override
    {
        return m_volume ? new tVolumeSnapshot(CSnapshot::KIND_VOLUME, *m_volume, this) : nullptr;
    }
    tSnapshotPtr createPlaneXYSnapshot(std::int32_t z) override
    {
        return m_volume ? new tPlaneXYSnapshot(CSnapshot::KIND_VOLUME, *m_volume, z, this) : nullptr;
    }
    tSnapshotPtr createPlaneXZSnapshot(std::int32_t y) override
    {
        return m_volume ? new tPlaneXZSnapshot(CSnapshot::KIND_VOLUME, *m_volume, y, this) : nullptr;
    }
    tSnapshotPtr createPlaneYZSnapshot(std::int32_t x) override
    {
        return m_volume ? new tPlaneYZSnapshot(CSnapshot::KIND_VOLUME, *m_volume, x, this) : nullptr;
    }

protected:
    ~CVolumeUndo() = default;

private:
    std::int32_t m_entryId = 0;
    bool m_markChanged = false;
    // A plain pointer: the volume is normally this very object, and a counted reference to
    // oneself would keep a heap volume alive forever.
    V* m_volume;
    CDataStorage* m_storage = nullptr;
};

} // namespace data
