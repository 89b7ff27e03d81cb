#pragma once
// The undo history (entry 557): snapshots of the state before each change (the undo list,
// oldest first) and of the state before each undo (the redo list, oldest first), kept
// within a size limit in bytes. The history owns every snapshot put into it.
//
// Plug-ins only insert; the host undoes, redoes, clears and sets the limit. The operations
// are virtual so that the code of the library that created the history runs on it.
// Callers hold the entry's data lock (an object pointer) and, for undo and redo, the data
// lock of every provider whose snapshots are in the history.

#include "data/CSnapshot.h"
#include "toolkit/base/CObject.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace data {

class CUndoProvider;

class CUndoManager : public kvo::base::CObject
{
public:
    using tSnapshotPtr = kvo::base::CRefPtr<CSnapshot>;

    static constexpr std::uint64_t DEFAULT_LIMIT = 512ull * 1024 * 1024;

    CUndoManager() = default;
    ~CUndoManager() override = default;
    CUndoManager(const CUndoManager&) = delete;
    CUndoManager& operator=(const CUndoManager&) = delete;

    //! Records a snapshot taken before a change. The redo list is emptied (the change makes
    //! it stale); the oldest undo snapshots are dropped until the new one fits the limit. A
    //! snapshot that does not fit even into an empty history is dropped and not recorded
    //! (the history is then empty). A recorded snapshot gets the next identifier (1, 2, ...).
    //! Null does nothing.
    virtual void insert(tSnapshotPtr snapshot);

    //! Undoes the newest recorded change: its provider records the current state like the
    //! snapshot onto the redo list, then writes the snapshot back (which marks the
    //! provider's entry changed when the provider is set up so). False when the undo list
    //! is empty. With `onlyProvider` set, a newest snapshot of any other provider is not
    //! restored: it is dropped (the history belongs to a volume that no longer exists) and
    //! the result is false.
    virtual bool undo(const CUndoProvider* onlyProvider = nullptr);

    //! The reverse of undo: the newest redo snapshot is written back, the current state
    //! going onto the undo list (the redo list is kept).
    virtual bool redo(const CUndoProvider* onlyProvider = nullptr);

    //! Drops every snapshot of both lists. The limit and the identifier counter stay.
    virtual void clear();

    //! Size limit in bytes of all stored snapshots together.
    void setLimit(std::uint64_t limit) { m_limit = limit; }
    std::uint64_t getLimit() const { return m_limit; }
    //! Bytes of all stored snapshots (both lists).
    std::uint64_t getTotalSize() const { return m_total; }
    //! Number of snapshots recorded by insert so far: the last identifier given.
    std::uint32_t getCounter() const { return m_counter; }

    std::size_t getUndoCount() const { return m_undo.size(); }
    std::size_t getRedoCount() const { return m_redo.size(); }
    //! Snapshots by position, 0 = oldest; null beyond the list.
    const CSnapshot* getUndoSnapshot(std::size_t i) const { return i < m_undo.size() ? m_undo[i].get() : nullptr; }
    const CSnapshot* getRedoSnapshot(std::size_t i) const { return i < m_redo.size() ? m_redo[i].get() : nullptr; }

private:
    using tList = std::deque<tSnapshotPtr>;

    //! Moves the newest snapshot of `from` back into its provider, recording the current
    //! state onto `to`.
    bool step(tList& from, tList& to, const CUndoProvider* onlyProvider);
    void dropOldestUntilFits();

    std::uint64_t m_total = 0;
    std::uint64_t m_limit = DEFAULT_LIMIT;
    std::uint32_t m_counter = 0;
    tList m_undo;
    tList m_redo;
};

} // namespace data
