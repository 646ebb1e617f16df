#include "windowcommands.h"

#include "project/projectsession.h"

#include <QAction>
#include <QUndoStack>
#include <QWidget>

namespace routereel {

namespace {

QAction *command(QWidget *window, const QKeySequence &keys)
{
    auto *action = new QAction(window);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    window->addAction(action);
    return action;
}

} // namespace

WindowCommands::WindowCommands(ProjectSession &session, QUndoStack &undoStack, QWidget *window)
    : QObject(window),
      m_save(command(window, QKeySequence::Save)),
      m_saveAs(command(window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S))),
      m_open(command(window, QKeySequence::Open)),
      m_undo(command(window, QKeySequence::Undo)),
      m_redo(command(window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)))
{
    connect(m_save, &QAction::triggered, &session, &ProjectSession::handleSaveProject);
    connect(m_saveAs, &QAction::triggered, &session, &ProjectSession::handleSaveProjectAs);
    connect(m_open, &QAction::triggered, &session, &ProjectSession::presentOpenProjectPanel);
    // Always enabled: with nothing to undo the stack does nothing.
    connect(m_undo, &QAction::triggered, &undoStack, &QUndoStack::undo);
    connect(m_redo, &QAction::triggered, &undoStack, &QUndoStack::redo);
    retranslate();
}

void WindowCommands::retranslate()
{
    m_save->setText(tr("Save Project"));
    m_saveAs->setText(tr("Save As New Project…"));
    m_open->setText(tr("Open Project…"));
    m_undo->setText(tr("Undo"));
    m_redo->setText(tr("Redo"));
}

} // namespace routereel
