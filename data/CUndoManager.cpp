#include "data/CUndoManager.h"

#include "data/CUndoProvider.h"

namespace data {

void CUndoManager::insert(tSnapshotPtr snapshot)
{
    if (!snapshot)
        return;
    for (const tSnapshotPtr& stale : m_redo)
        m_total -= stale->getDataSize();
    m_redo.clear();

    std::uint64_t total = m_total + snapshot->getDataSize();
    while (total > m_limit && !m_undo.empty())
    {
        total -= m_undo.front()->getDataSize();
        m_undo.pop_front();
    }
    if (total > m_limit)
    {
        // Too big for the whole history: not recorded, and what it pushed out stays out.
        m_total = 0;
        for (const tSnapshotPtr& kept : m_undo)
            m_total += kept->getDataSize();
        return;
    }
    snapshot->setId(++m_counter);
    m_undo.push_back(std::move(snapshot));
    m_total = total;
}

bool CUndoManager::undo(const CUndoProvider* onlyProvider)
{
    return step(m_undo, m_redo, onlyProvider);
}

bool CUndoManager::redo(const CUndoProvider* onlyProvider)
{
    return step(m_redo, m_undo, onlyProvider);
}

bool CUndoManager::step(tList& from, tList& to, const CUndoProvider* onlyProvider)
{
    if (from.empty())
        return false;
    const tSnapshotPtr snapshot = from.back();
    CUndoProvider* provider = snapshot->getProvider();
    if (!provider || (onlyProvider && provider != onlyProvider))
    {
        m_total -= snapshot->getDataSize();
        from.pop_back();
        return false;
    }
    // Record the state being left before touching the lists, so that a failure to take
    // it (memory) leaves the history as it was.
    tSnapshotPtr current = provider->createSnapshotLike(snapshot.get());
    if (current)
    {
        current->setId(snapshot->getId());
        m_total += current->getDataSize();
        to.push_back(std::move(current));
    }
    m_total -= snapshot->getDataSize();
    from.pop_back();
    provider->restore(snapshot.get());
    dropOldestUntilFits();
    return true;
}

void CUndoManager::dropOldestUntilFits()
{
    while (m_total > m_limit && !m_undo.empty())
    {
        m_total -= m_undo.front()->getDataSize();
        m_undo.pop_front();
    }
}

void CUndoManager::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_total = 0;
}

} // namespace data
