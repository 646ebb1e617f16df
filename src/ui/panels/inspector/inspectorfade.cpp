#include "inspectorfade.h"

#include <QPainter>
#include <QWidget>

namespace routereel {

InspectorFade::InspectorFade(QWidget *panel)
    : QGraphicsOpacityEffect(panel)
    , m_panel(panel)
{
}

QColor InspectorFade::backgroundColor() const
{
    for (QWidget *w = m_panel->parentWidget(); w; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    }
    return m_panel->palette().color(QPalette::Window);
}

void InspectorFade::draw(QPainter *painter)
{
    if (opacity() < 1)
        painter->fillRect(sourceBoundingRect(Qt::LogicalCoordinates), backgroundColor());
    QGraphicsOpacityEffect::draw(painter);
}

} // namespace routereel
