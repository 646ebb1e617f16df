#include "timelineheader.h"

#include "timelinemath.h"
#include "timelinepalette.h"

#include "ui/icons/symbolicon.h"

#include <QEvent>
#include <QPainter>

namespace routereel {

namespace {
using namespace timelinemetrics;
}

TimelineHeader::TimelineHeader(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("timelineHeader"));
    setFixedWidth(int(labelW));
    retranslate();
}

void TimelineHeader::retranslate()
{
    setAccessibleName(tr("Timeline rows"));
    setAccessibleDescription(tr("Time, Video, GPX"));
    update();
}

void TimelineHeader::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void TimelineHeader::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), timelinepalette::controlBackground(palette()));
    struct Row {
        double top;
        double height;
        const char *symbol;
        QString title;
        QColor color;
    };
    const QColor secondary = timelinepalette::secondary(palette());
    // "Video" and "GPX" are names, shown as they stand.
    const Row rows[] = {
        {.top = 0, .height = rulerH, .symbol = "clock", .title = tr("Time"), .color = secondary},
        {.top = rulerH + 1, .height = trackH, .symbol = "film", .title = QStringLiteral("Video"),
         .color = timelinepalette::blue(palette())},
        {.top = rulerH + trackH + 2, .height = trackH, .symbol = "location", .title = QStringLiteral("GPX"),
         .color = timelinepalette::green(palette())},
    };
    QFont font = this->font();
    font.setPixelSize(10);
    font.setWeight(QFont::Medium);
    p.setFont(font);
    for (const Row &row : rows) {
        const double mid = row.top + row.height / 2;
        paintSymbol(p, QRectF(6 + 2, mid - 5, 10, 10), QString::fromLatin1(row.symbol), row.color);
        p.setPen(secondary);
        p.drawText(QRectF(6 + 14 + 4, row.top, width() - 30, row.height), Qt::AlignLeft | Qt::AlignVCenter,
                   row.title);
    }
    const QColor line = palette().color(QPalette::Mid);
    p.fillRect(QRectF(0, rulerH, width(), 1), line);
    p.fillRect(QRectF(0, rulerH + 1 + trackH, width(), 1), line);
}

} // namespace routereel
