#include "checkedtabstop.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>

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
        // The arrows move among the buttons whatever their policy (Qt's rule for auto-exclusive ones).
        button->setAutoExclusive(true);
        const Qt::FocusPolicy policy = button->focusPolicy();
        button->setFocusPolicy(button == tabStop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                                 : Qt::FocusPolicy(policy & ~Qt::TabFocus));
        button->removeEventFilter(this);
        button->installEventFilter(this);
    }
}

bool CheckedTabStop::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::FocusOut)
        refresh();
    return false;
}

} // namespace routereel
