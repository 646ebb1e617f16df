#pragma once

#include <QObject>

class QAbstractButton;
class QButtonGroup;

namespace routereel {

// Makes a group of checkable buttons one Tab stop, at its checked button (the
// first shown one while none is checked), as radio groups are everywhere; the
// arrows move within the group, in its order, and choose as they go when the
// group is exclusive and the button left was the chosen one. Qt moves the stop to whichever button last had
// the focus, so a sheet opening on its first row, or a click, would leave an
// unchosen button as the stop: it goes back to the checked one whenever the
// focus leaves a button, and at each refresh().
class CheckedTabStop : public QObject {
    Q_OBJECT

public:
    explicit CheckedTabStop(QButtonGroup *group);

    // After buttons were added or removed, or checked with the group's signals blocked.
    void refresh();
    // The button Tab reaches.
    QAbstractButton *stop() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QButtonGroup *m_group;
};

} // namespace routereel
