#include "windowanswers.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace routereel {

namespace {

// Whether `window` owns `dialog`, however many windows lie between them (an
// alert over a sheet). QWidget::isAncestorOf stops at the first window, which
// every dialog is.
bool ownedBy(const QWidget *dialog, const QWidget &window)
{
    for (const QWidget *p = dialog->parentWidget(); p; p = p->parentWidget()) {
        if (p == &window)
            return true;
    }
    return false;
}

} // namespace

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
    if (m_stage && widget->isModal() && ownedBy(widget, m_window) && !widget->property(notAnswering).toBool() && !m_open.contains(widget)) {
        m_open.insert(widget, m_stage->answering());
        connect(widget, &QObject::destroyed, this, [this, widget] { m_open.remove(widget); });
    }
    return false;
}

} // namespace routereel
