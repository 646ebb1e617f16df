#include "focusview.h"

#include "appfilter.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QVariant>
#include <QWidget>

namespace routereel::focusview {

namespace {

const char followProperty[] = "routereelFollowsFocus";

bool byKey(Qt::FocusReason reason)
{
    return reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason;
}

class FocusFollower : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn || !watched->isWidgetType())
            return false;
        if (!byKey(static_cast<QFocusEvent *>(event)->reason()))
            return false;
        auto *control = static_cast<QWidget *>(watched);
        QList<QScrollArea *> areas;
        for (QWidget *w = control->parentWidget(); w; w = w->parentWidget()) {
            if (auto *scroll = qobject_cast<QScrollArea *>(w); scroll && scroll->widget()
                && scroll->widget()->isAncestorOf(control))
                areas << scroll;
            if (w->property(followProperty).toBool()) {
                // Innermost first: the outer area then shows the inner one where the control now is.
                for (QScrollArea *area : std::as_const(areas))
                    area->ensureWidgetVisible(control, 8, 8);
                break;
            }
            if (w->isWindow())
                break;
        }
        return false;
    }
};

class FocusRing : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        auto *control = static_cast<QWidget *>(watched);
        if (!control->hasFocus())
            return false;
        // The control paints itself first, the ring goes over it.
        static_cast<QObject *>(control)->event(event);
        QPainter painter(control);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF outer = QRectF(control->rect()).adjusted(1, 1, -1, -1);
        const QColor accent = control->palette().color(QPalette::Active, QPalette::Highlight);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(accent, 2));
        painter.drawRoundedRect(outer, 5, 5);
        // A second, inner line in the colour of text on the accent: seen on the accent too.
        painter.setPen(QPen(control->palette().color(QPalette::Active, QPalette::HighlightedText), 1));
        painter.drawRoundedRect(outer.adjusted(2, 2, -2, -2), 3, 3);
        return true;
    }
};

} // namespace

void followFocus(QWidget *root)
{
    markForAppFilter<FocusFollower>(root, followProperty);
}

void showFocusRing(QWidget *control)
{
    static QPointer<QObject> ring;
    if (!ring)
        ring = new FocusRing(qApp);
    control->removeEventFilter(ring);
    control->installEventFilter(ring);
}

} // namespace routereel::focusview
