#include "checkedtabstop.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeyEvent>

namespace routereel {

CheckedTabStop::CheckedTabStop(QButtonGroup *group)
    : QObject(group), m_group(group)
{
    connect(group, &QButtonGroup::buttonToggled, this, &CheckedTabStop::refresh);
    refresh();
}

QAbstractButton *CheckedTabStop::stop() const
{
    QAbstractButton *first = nullptr;
    for (QAbstractButton *button : m_group->buttons()) {
        if (button->isChecked())
            return button;
        if (!first && !button->isHidden())
            first = button;
    }
    return first;
}

void CheckedTabStop::refresh()
{
    QAbstractButton *tabStop = stop();
    for (QAbstractButton *button : m_group->buttons()) {
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(button == tabStop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                 : Qt::FocusPolicy(policy & ~Qt::TabFocus));
        button->removeEventFilter(this);
        button->installEventFilter(this);
    }
}

bool CheckedTabStop::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        refresh();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    // Qt's own arrows skip buttons that are no Tab stop unless they are auto-exclusive, which
    // would make the mode's boxes radio buttons to assistive tools: the group moves by itself.
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    int step = 0;
    switch (key->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: step = -1; break;
    case Qt::Key_Right:
    case Qt::Key_Down: step = 1; break;
    default: return false;
    }
    auto *from = qobject_cast<QAbstractButton *>(watched);
    const QList<QAbstractButton *> buttons = m_group->buttons();
    for (qsizetype i = buttons.indexOf(from) + step; from && i >= 0 && i < buttons.size(); i += step) {
        QAbstractButton *to = buttons.at(i);
        if (to->isHidden() || !to->isEnabled())
            continue;
        const bool choose = m_group->exclusive() && from->isChecked();
        to->setFocus(step < 0 ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        if (choose)
            to->click();
        return true;
    }
    return false;
}

} // namespace routereel
