#include "pressablecontrolkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>

namespace routereel {

namespace {

bool isEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

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

bool PressableControlKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != &m_window || !isPressable(widget))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // Ctrl+Space and the like stay shortcuts.
    if (key->modifiers() & ~Qt::KeypadModifier)
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
