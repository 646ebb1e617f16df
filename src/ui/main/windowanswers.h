#pragma once

#include "project/projectstage.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class QWidget;

namespace routereel {

// Every panel, sheet and alert of the window that is open holds the stage's
// answer: what it shows is what the user answers, so nothing is applied
// behind it and files handed over meanwhile wait for it. A dialog with the
// property `notAnswering` set (the quit's own wait) holds nothing.
class WindowAnswers : public QObject {
    Q_OBJECT

public:
    static constexpr const char *notAnswering = "routereelNotAnswering";

    WindowAnswers(QWidget &window, ProjectStage &stage);
    ~WindowAnswers() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    QPointer<ProjectStage> m_stage;  // goes before this, with the window's session
    QHash<QObject *, ProjectStage::Answer> m_open;
};

} // namespace routereel
