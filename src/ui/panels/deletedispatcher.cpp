#include "deletedispatcher.h"

#include "previewareaview.h"

#include "timeline/timelineengine.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace routereel {

DeleteDispatcher::DeleteDispatcher(PreviewAreaView &preview, TimelineEngine &engine, QWidget *window)
    : QObject(window), m_preview(preview), m_engine(engine), m_window(window), m_action(new QAction(this))
{
    m_action->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)});
    m_action->setShortcutContext(Qt::WindowShortcut);
    if (window)
        window->addAction(m_action);
    connect(m_action, &QAction::triggered, this, &DeleteDispatcher::dispatch);
    connect(&preview, &PreviewAreaView::selectedWidgetChanged, this, &DeleteDispatcher::updateEnabled);
    connect(&engine, &TimelineEngine::selectedIdChanged, this, &DeleteDispatcher::updateEnabled);
    connect(&engine, &TimelineEngine::selectedVideoIdChanged, this, &DeleteDispatcher::updateEnabled);
    updateEnabled();
}

bool DeleteDispatcher::isTextInput(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    if (const auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->isEditable();
    if (const auto *text = qobject_cast<const QTextEdit *>(widget))
        return !text->isReadOnly();
    if (const auto *plain = qobject_cast<const QPlainTextEdit *>(widget))
        return !plain->isReadOnly();
    return false;
}

void DeleteDispatcher::updateEnabled()
{
    m_action->setEnabled(m_preview.selectedWidget().has_value() || m_engine.hasSelection());
}

bool DeleteDispatcher::dispatch()
{
    if (isTextInput(QApplication::focusWidget()))
        return false;
    if (m_preview.selectedWidget()) {
        m_preview.deleteSelectedWidget();
        return true;
    }
    if (m_engine.hasSelection()) {
        m_engine.deleteSelected();
        return true;
    }
    return false;
}

} // namespace routereel
