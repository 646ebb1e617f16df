#include "symbolicon.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <functional>

namespace routereel::symbolicon {

namespace {

// Every symbol is drawn on a 24 × 24 grid; `pen` is the stroke in grid units.
using Draw = std::function<void(QPainter &, double pen)>;

void stroke(QPainter &p, double pen)
{
    QPen outline(p.brush().color(), pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(outline);
    p.setBrush(Qt::NoBrush);
}

// Cuts `path` out of what is drawn so far, as the filled symbols' marks are holes.
void cut(QPainter &p, const QPainterPath &path, double pen)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

void filledCircle(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(12, 12), 10, 10);
}

QPainterPath lines(std::initializer_list<std::pair<QPointF, QPointF>> segments)
{
    QPainterPath path;
    for (const auto &[a, b] : segments) {
        path.moveTo(a);
        path.lineTo(b);
    }
    return path;
}

QPainterPath checkmark()
{
    QPainterPath path;
    path.moveTo(7.5, 12.5);
    path.lineTo(10.5, 15.5);
    path.lineTo(16.5, 8.5);
    return path;
}

const QHash<QString, Draw> &symbols()
{
    static const QHash<QString, Draw> table{
        {QStringLiteral("clock"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             p.drawEllipse(QPointF(12, 12), 9, 9);
             p.drawPath(lines({{{12, 12}, {12, 6.5}}, {{12, 12}, {15.5, 14}}}));
         }},
        {QStringLiteral("clock.arrow.circlepath"),
         [](QPainter &p, double pen) {
             const QColor c = p.brush().color();
             stroke(p, pen);
             p.drawArc(QRectF(3, 3, 18, 18), 200 * 16, -300 * 16);
             p.drawPath(lines({{{12, 12}, {12, 7.5}}, {{12, 12}, {15, 13.5}}}));
             // Arrow head at the open end of the circle path.
             QPainterPath head;
             head.moveTo(1.2, 13.5);
             head.lineTo(7.2, 13.8);
             head.lineTo(3.8, 8.6);
             head.closeSubpath();
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(head);
         }},
        {QStringLiteral("xmark"),
         [](QPainter &p, double pen) {
             stroke(p, pen * 1.2);
             p.drawPath(lines({{{6.5, 6.5}, {17.5, 17.5}}, {{17.5, 6.5}, {6.5, 17.5}}}));
         }},
        {QStringLiteral("xmark.circle.fill"),
         [](QPainter &p, double pen) {
             filledCircle(p);
             cut(p, lines({{{8.5, 8.5}, {15.5, 15.5}}, {{15.5, 8.5}, {8.5, 15.5}}}), pen * 1.2);
         }},
        {QStringLiteral("stop.fill"),
         [](QPainter &p, double) {
             p.setPen(Qt::NoPen);
             p.drawRoundedRect(QRectF(5.5, 5.5, 13, 13), 2.5, 2.5);
         }},
        {QStringLiteral("tray"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             QPainterPath path;
             path.moveTo(3, 13);
             path.lineTo(6, 5);
             path.lineTo(18, 5);
             path.lineTo(21, 13);
             path.lineTo(21, 18);
             path.quadTo(21, 19.5, 19.5, 19.5);
             path.lineTo(4.5, 19.5);
             path.quadTo(3, 19.5, 3, 18);
             path.closeSubpath();
             path.moveTo(3, 13);
             path.lineTo(8, 13);
             path.lineTo(9, 15.5);
             path.lineTo(15, 15.5);
             path.lineTo(16, 13);
             path.lineTo(21, 13);
             p.drawPath(path);
         }},
        {QStringLiteral("circle.dotted"),
         [](QPainter &p, double) {
             p.setPen(Qt::NoPen);
             for (int i = 0; i < 12; ++i) {
                 const double a = i * M_PI / 6;
                 p.drawEllipse(QPointF(12 + 9 * std::cos(a), 12 + 9 * std::sin(a)), 1.2, 1.2);
             }
         }},
        {QStringLiteral("checkmark.circle.fill"),
         [](QPainter &p, double pen) {
             filledCircle(p);
             cut(p, checkmark(), pen * 1.2);
         }},
        {QStringLiteral("checkmark.circle"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
             p.drawPath(checkmark());
         }},
        {QStringLiteral("exclamationmark.circle.fill"),
         [](QPainter &p, double pen) {
             filledCircle(p);
             QPainterPath mark = lines({{{12, 6.5}, {12, 13}}});
             mark.addEllipse(QPointF(12, 16.8), 0.3, 0.3);
             cut(p, mark, pen * 1.3);
         }},
        {QStringLiteral("minus.circle.fill"),
         [](QPainter &p, double pen) {
             filledCircle(p);
             cut(p, lines({{{7.5, 12}, {16.5, 12}}}), pen * 1.3);
         }},
        {QStringLiteral("folder"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             QPainterPath path;
             path.moveTo(3, 7);
             path.quadTo(3, 5, 5, 5);
             path.lineTo(9.5, 5);
             path.lineTo(11.5, 7.5);
             path.lineTo(19, 7.5);
             path.quadTo(21, 7.5, 21, 9.5);
             path.lineTo(21, 17);
             path.quadTo(21, 19, 19, 19);
             path.lineTo(5, 19);
             path.quadTo(3, 19, 3, 17);
             path.closeSubpath();
             path.moveTo(3, 10);
             path.lineTo(21, 10);
             p.drawPath(path);
         }},
        {QStringLiteral("doc.text"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             QPainterPath path;
             path.moveTo(14, 3);
             path.lineTo(7, 3);
             path.quadTo(5, 3, 5, 5);
             path.lineTo(5, 19);
             path.quadTo(5, 21, 7, 21);
             path.lineTo(17, 21);
             path.quadTo(19, 21, 19, 19);
             path.lineTo(19, 8);
             path.closeSubpath();
             path.moveTo(14, 3);
             path.lineTo(14, 8);
             path.lineTo(19, 8);
             p.drawPath(path);
             p.drawPath(lines({{{8.5, 12}, {15.5, 12}}, {{8.5, 15}, {15.5, 15}}, {{8.5, 18}, {12.5, 18}}}));
         }},
        {QStringLiteral("map"),
         [](QPainter &p, double pen) {
             stroke(p, pen);
             QPainterPath path;
             path.moveTo(3, 6.5);
             path.lineTo(9, 4);
             path.lineTo(15, 6.5);
             path.lineTo(21, 4);
             path.lineTo(21, 17.5);
             path.lineTo(15, 20);
             path.lineTo(9, 17.5);
             path.lineTo(3, 20);
             path.closeSubpath();
             path.moveTo(9, 4);
             path.lineTo(9, 17.5);
             path.moveTo(15, 6.5);
             path.lineTo(15, 20);
             p.drawPath(path);
         }},
        {QStringLiteral("internaldrive"),
         [](QPainter &p, double pen) {
             const QColor c = p.brush().color();
             stroke(p, pen);
             p.drawRoundedRect(QRectF(3, 7, 18, 10), 2.5, 2.5);
             p.drawPath(lines({{{3, 13}, {21, 13}}}));
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QPointF(17.5, 15), 0.9, 0.9);
         }},
        {QStringLiteral("film"),
         [](QPainter &p, double pen) {
             const QColor c = p.brush().color();
             stroke(p, pen);
             p.drawRoundedRect(QRectF(4, 3, 16, 18), 2, 2);
             p.drawPath(lines({{{8, 3}, {8, 21}}, {{16, 3}, {16, 21}}, {{8, 12}, {16, 12}}}));
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             for (double y : {6.5, 10.5, 14.5, 18.5}) {
                 p.drawRect(QRectF(5.3, y - 0.9, 1.4, 1.8));
                 p.drawRect(QRectF(17.3, y - 0.9, 1.4, 1.8));
             }
         }},
    };
    return table;
}

} // namespace

bool isKnown(const QString &name)
{
    return symbols().contains(name);
}

QPixmap pixmap(const QString &name, const QColor &color, int pixelSize, double weight)
{
    const double ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap result(QSize(pixelSize, pixelSize) * ratio);
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    const auto found = symbols().constFind(name);
    if (found == symbols().constEnd())
        return result;
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixelSize / 24.0, pixelSize / 24.0);
    painter.setBrush(color);
    (*found)(painter, 1.8 * weight);
    return result;
}

QIcon icon(const QString &name, const QColor &color, int pixelSize, double weight)
{
    QIcon result;
    const QPixmap normal = pixmap(name, color, pixelSize, weight);
    result.addPixmap(normal, QIcon::Normal);
    QColor faded = color;
    faded.setAlphaF(color.alphaF() * 0.35f);
    result.addPixmap(pixmap(name, faded, pixelSize, weight), QIcon::Disabled);
    return result;
}

} // namespace routereel::symbolicon
