#include "pressablecontrolkeys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace routereel {

namespace {

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

bool isHomeOrEnd(int key) { return key == Qt::Key_Home || key == Qt::Key_End; }

} // namespace

PressableControlKeys::PressableControlKeys(QWidget &window)
    : QObject(&window), m_window(window)
{
    // The shortcut override goes straight to the focused widget: only the application sees it first.
    qApp->installEventFilter(this);
}

bool PressableControlKeys::isPressable(const QWidget *widget)
{
    if (!widget || !widget->isEnabled())
        return false;
    if (qobject_cast<const QAbstractButton *>(widget))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(widget);
    return combo && !combo->isEditable();
}

bool PressableControlKeys::takesHomeAndEnd(const QWidget *widget)
{
    if (!widget || !widget->isEnabled())
        return false;
    return qobject_cast<const QAbstractSlider *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget)
        || qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QComboBox *>(widget)
        || qobject_cast<const QAbstractItemView *>(widget);
}

bool PressableControlKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != &m_window)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Ctrl+Space and the like stay shortcuts.
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    // A slider goes to its end, a field to its line's: the playhead's Home waits for no control.
    if (event->type() == QEvent::ShortcutOverride && isHomeOrEnd(key->key()) && takesHomeAndEnd(widget)) {
        event->accept();
        return true;
    }
    if (!isPressable(widget))
        return false;
    auto *button = qobject_cast<QAbstractButton *>(widget);
    const bool space = key->key() == Qt::Key_Space;
    const bool enter = button && isEnter(key->key());
    if (event->type() == QEvent::ShortcutOverride) {
        if (!space && !enter)
            return false;
        event->accept();
        return true;
    }
    // A button presses itself on Space; Return clicks it here (a push button
    // does so on its own only as a dialog's default).
    if (!enter)
        return false;
    if (!key->isAutoRepeat())
        button->click();
    return true;
}

} // namespace routereel
