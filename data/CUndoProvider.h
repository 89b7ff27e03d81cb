#pragma once
// Base of objects whose state can be recorded in undo snapshots and written back from them.
// New snapshots are heap objects handed to the caller (usually straight into the history,
// CUndoManager::insert). Not a deleting base: providers are destroyed as what they are.

#include "data/CSnapshot.h"
#include "toolkit/base/CObject.h"

#include <cstdint>

namespace data {

class CUndoProvider
{
public:
    using tSnapshotPtr = kvo::base::CRefPtr<CSnapshot>;

    //! A snapshot of the current state with the same extent as `snapshot` (whole state, or
    //! the same plane kind and index); null for a snapshot this provider cannot take.
    virtual tSnapshotPtr createSnapshotLike(const CSnapshot* snapshot) = 0;

    //! Writes the snapshot back; a snapshot of a class the provider does not know changes
    //! nothing.
    virtual void restore(const CSnapshot* snapshot) = 0;

    //! The whole state.
    virtual tSnapshotPtr createVolumeSnapshot() = 0;
    //! One plane: z for XY, y for XZ, x for YZ.
    virtual tSnapshotPtr createPlaneXYSnapshot(std::int32_t z) = 0;
    virtual tSnapshotPtr createPlaneXZSnapshot(std::int32_t y) = 0;
    virtual tSnapshotPtr createPlaneYZSnapshot(std::int32_t x) = 0;

protected:
    CUndoProvider() = default;
    CUndoProvider(const CUndoProvider&) = default;
    CUndoProvider& operator=(const CUndoProvider&) = default;
    ~CUndoProvider() = default;
};

} // namespace data
