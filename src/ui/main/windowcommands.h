#pragma once

#include <QList>
#include <QObject>

class QAction;
class QUndoStack;
class QWidget;

namespace routereel {

class ProjectSession;

// The window's project commands (Save Project, Save As New Project…, Open
// Project…) and Undo and Redo on the timeline's undo stack, as actions of the
// window, so that their shortcuts work in it; the application's menus show the
// same actions.
class WindowCommands : public QObject {
    Q_OBJECT

public:
    WindowCommands(ProjectSession &session, QUndoStack &undoStack, QWidget *window);

    QAction *saveProject() const { return m_save; }
    QAction *saveProjectAs() const { return m_saveAs; }
    QAction *openProject() const { return m_open; }
    QAction *undo() const { return m_undo; }
    QAction *redo() const { return m_redo; }

    void retranslate();

private:
    QAction *m_save;
    QAction *m_saveAs;
    QAction *m_open;
    QAction *m_undo;
    QAction *m_redo;
};

} // namespace routereel
