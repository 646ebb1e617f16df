#include "timelinesnapshotcommand.h"

namespace routereel {

namespace {
constexpr int trimCommandId = 0x7452;
}

TimelineSnapshotCommand::TimelineSnapshotCommand(TimelineEngine *engine, TimelineEngine::UndoSnapshot before,
                                                 TimelineEngine::UndoSnapshot after, quint64 trimDrag)
    : QUndoCommand(before.actionName), m_engine(engine), m_before(std::move(before)), m_after(std::move(after)),
      m_trimDrag(trimDrag)
{
}

void TimelineSnapshotCommand::undo()
{
    m_after = m_engine->undoSnapshot(m_after.actionName);
    m_engine->restoreSnapshot(m_before);
}

void TimelineSnapshotCommand::redo()
{
    if (m_alreadyApplied) {
        m_alreadyApplied = false;
        return;
    }
    m_before = m_engine->undoSnapshot(m_before.actionName);
    m_engine->restoreSnapshot(m_after);
}

int TimelineSnapshotCommand::id() const
{
    return m_trimDrag != 0 ? trimCommandId : -1;
}

bool TimelineSnapshotCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const TimelineSnapshotCommand *>(other);
    // QUndoStack drops a step that a merge made obsolete, so the next step of
    // that drag may meet an earlier drag's step here: it must not join it.
    if (next->m_trimDrag != m_trimDrag)
        return false;
    m_after = next->m_after;
    setObsolete(m_after.sameState(m_before));
    return true;
}

} // namespace routereel
