#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace routereel {

class PreviewAreaView;
class TimelineEngine;

// The window's one Delete (and Backspace) command: it hides the widget
// selected in the preview or, when none is, deletes the segment selected on
// the timeline; never both, and never while a text field has the focus (the
// key is the field's then). The action is disabled while nothing is selected.
class DeleteDispatcher : public QObject {
    Q_OBJECT

public:
    // Adds the action to `window`, whose shortcut it answers.
    DeleteDispatcher(PreviewAreaView &preview, TimelineEngine &engine, QWidget *window);

    QAction *action() const { return m_action; }
    // What the key does; false when it did nothing.
    bool dispatch();

    static bool isTextInput(const QWidget *widget);

private:
    void updateEnabled();

    PreviewAreaView &m_preview;
    TimelineEngine &m_engine;
    QPointer<QWidget> m_window;
    QAction *m_action;
};

} // namespace routereel
