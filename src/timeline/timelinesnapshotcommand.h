#pragma once

#include "timelineengine.h"

#include <QUndoCommand>

namespace routereel {

// How timeline edits are undone: every edit saves the engine's whole editable
// state (both lanes, sources, selection, canvas) before and after it, and undo
// and redo put one or the other back whole. Nothing edit-specific is stored, so
// an edit cannot be undone wrongly. Each direction first saves the state it
// replaces (selection changes are not steps of their own, so redo brings back
// the selection that undo found). The first redo, run by QUndoStack::push,
// does nothing because the edit has already been made. The calls of one trim
// drag merge into the drag's first step, and only into it: merging is keyed on
// the drag, never on the step's name. A drag that ends where it
// began leaves no step.
class TimelineSnapshotCommand : public QUndoCommand {
public:
    TimelineSnapshotCommand(TimelineEngine *engine, TimelineEngine::UndoSnapshot before,
                            TimelineEngine::UndoSnapshot after, quint64 trimDrag = 0);

    void undo() override;
    void redo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

private:
    TimelineEngine *m_engine;
    TimelineEngine::UndoSnapshot m_before;
    TimelineEngine::UndoSnapshot m_after;
    quint64 m_trimDrag;  // the trim drag this step belongs to; 0 for every other edit
    bool m_alreadyApplied = true;
};

} // namespace routereel
