#include "windowanswers.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace routereel {

WindowAnswers::WindowAnswers(QWidget &window, ProjectStage &stage)
    : QObject(&window), m_window(window), m_stage(&stage)
{
    qApp->installEventFilter(this);
}

WindowAnswers::~WindowAnswers()
{
    qApp->removeEventFilter(this);
}

bool WindowAnswers::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Show && type != QEvent::Hide)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || !widget->isWindow() || widget == &m_window)
        return false;
    if (type == QEvent::Hide) {
        m_open.remove(widget);
        return false;
    }
    // A modal dialog of this window (QDialog::exec() makes one application-modal).
    if (m_stage && widget->isModal() && m_window.isAncestorOf(widget) && !widget->property(notAnswering).toBool() && !m_open.contains(widget)) {
        m_open.insert(widget, m_stage->answering());
        connect(widget, &QObject::destroyed, this, [this, widget] { m_open.remove(widget); });
    }
    return false;
}

} // namespace routereel
