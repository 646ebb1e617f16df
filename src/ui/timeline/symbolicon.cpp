#include "symbolicon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <optional>

namespace routereel {

namespace {

// Draws on a 16 x 16 grid, scaled into the target rectangle.
void draw(QPainter &p, const QString &name, const QColor &color)
{
    QPen pen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const auto magnifier = [&](bool plus) {
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
        p.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
        p.drawLine(QPointF(4.5, 6.5), QPointF(8.5, 6.5));
        if (plus)
            p.drawLine(QPointF(6.5, 4.5), QPointF(6.5, 8.5));
    };
    const auto uturn = [&](bool back) {
        p.save();
        if (!back) {
            p.translate(16, 0);
            p.scale(-1, 1);
        }
        QPainterPath path(QPointF(4, 6));
        path.lineTo(10, 6);
        path.cubicTo(15, 6, 15, 13, 10, 13);
        path.lineTo(6, 13);
        p.drawPath(path);
        p.drawPolyline(QPolygonF({QPointF(6.5, 3), QPointF(3.5, 6), QPointF(6.5, 9)}));
        p.restore();
    };
    const auto filled = [&](const QPolygonF &shape) {
        p.setBrush(color);
        p.drawPolygon(shape);
        p.setBrush(Qt::NoBrush);
    };

    if (name == QLatin1String("minus.magnifyingglass")) {
        magnifier(false);
    } else if (name == QLatin1String("plus.magnifyingglass")) {
        magnifier(true);
    } else if (name == QLatin1String("align.horizontal.left")) {
        p.drawLine(QPointF(2.5, 2), QPointF(2.5, 14));
        p.drawRoundedRect(QRectF(5, 3.5, 9, 3.5), 1, 1);
        p.drawRoundedRect(QRectF(5, 9, 6, 3.5), 1, 1);
    } else if (name == QLatin1String("backward.end.fill")) {
        p.drawLine(QPointF(3.5, 3), QPointF(3.5, 13));
        filled({QPointF(13, 3), QPointF(13, 13), QPointF(5.5, 8)});
    } else if (name == QLatin1String("scissors")) {
        p.drawEllipse(QPointF(4.5, 11.5), 2.2, 2.2);
        p.drawEllipse(QPointF(11.5, 11.5), 2.2, 2.2);
        p.drawLine(QPointF(6, 10), QPointF(12.5, 2));
        p.drawLine(QPointF(10, 10), QPointF(3.5, 2));
    } else if (name == QLatin1String("trash")) {
        p.drawLine(QPointF(2.5, 4), QPointF(13.5, 4));
        p.drawLine(QPointF(6, 4), QPointF(6.5, 2));
        p.drawLine(QPointF(6.5, 2), QPointF(9.5, 2));
        p.drawLine(QPointF(9.5, 2), QPointF(10, 4));
        p.drawPolyline(QPolygonF({QPointF(4, 4), QPointF(5, 14), QPointF(11, 14), QPointF(12, 4)}));
        p.drawLine(QPointF(7, 6.5), QPointF(7, 11.5));
        p.drawLine(QPointF(9, 6.5), QPointF(9, 11.5));
    } else if (name == QLatin1String("xmark.bin")) {
        p.drawRoundedRect(QRectF(2, 3, 12, 3), 1, 1);
        p.drawPolyline(QPolygonF({QPointF(3, 6), QPointF(3, 14), QPointF(13, 14), QPointF(13, 6)}));
        p.drawLine(QPointF(6, 8), QPointF(10, 12));
        p.drawLine(QPointF(10, 8), QPointF(6, 12));
    } else if (name == QLatin1String("arrow.uturn.backward")) {
        uturn(true);
    } else if (name == QLatin1String("arrow.uturn.forward")) {
        uturn(false);
    } else if (name == QLatin1String("flag.fill")) {
        p.drawLine(QPointF(3.5, 2), QPointF(3.5, 15));
        filled({QPointF(3.5, 2.5), QPointF(13, 2.5), QPointF(10.5, 6), QPointF(13, 9.5), QPointF(3.5, 9.5)});
    } else if (name == QLatin1String("xmark.circle.fill")) {
        p.setPen(Qt::NoPen);
        QPainterPath disc;
        disc.addEllipse(QPointF(8, 8), 6.5, 6.5);
        QPainterPath cross;
        QPainterPathStroker stroker;
        stroker.setWidth(1.6);
        stroker.setCapStyle(Qt::RoundCap);
        QPainterPath lines(QPointF(5.5, 5.5));
        lines.lineTo(10.5, 10.5);
        lines.moveTo(10.5, 5.5);
        lines.lineTo(5.5, 10.5);
        p.fillPath(disc.subtracted(stroker.createStroke(lines)), color);
    } else if (name == QLatin1String("clock")) {
        p.drawEllipse(QPointF(8, 8), 6, 6);
        p.drawPolyline(QPolygonF({QPointF(8, 4.5), QPointF(8, 8), QPointF(10.5, 9.5)}));
    } else if (name == QLatin1String("film")) {
        p.drawRoundedRect(QRectF(2.5, 2, 11, 12), 1.5, 1.5);
        p.drawLine(QPointF(5, 2), QPointF(5, 14));
        p.drawLine(QPointF(11, 2), QPointF(11, 14));
        p.drawLine(QPointF(5, 8), QPointF(11, 8));
    } else if (name == QLatin1String("location")) {
        p.drawPolygon(QPolygonF({QPointF(14, 2), QPointF(2, 7.5), QPointF(8, 8), QPointF(8.5, 14)}));
    } else if (name == QLatin1String("point.topleft.down.to.point.bottomright.curvepath")) {
        p.setBrush(color);
        p.drawEllipse(QPointF(3, 3), 1.8, 1.8);
        p.drawEllipse(QPointF(13, 13), 1.8, 1.8);
        p.setBrush(Qt::NoBrush);
        QPainterPath path(QPointF(4.5, 3.5));
        path.cubicTo(16, 4, 0, 12, 11.5, 12.5);
        p.drawPath(path);
    }
}

class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, std::optional<QColor> color) : m_name(std::move(name)), m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color.value_or(QApplication::palette().color(QPalette::WindowText));
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.35);
        paintSymbol(*painter, rect, m_name, color);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pm = pixmap(size * scale, mode, state);
        pm.setDevicePixelRatio(scale);
        return pm;
    }
    QIconEngine *clone() const override { return new SymbolEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("routereel.symbol"); }

private:
    QString m_name;
    std::optional<QColor> m_color;
};

} // namespace

void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(rect.width(), rect.height());
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 16, side / 16);
    draw(painter, name, color);
    painter.restore();
}

QIcon symbolIcon(const QString &name)
{
    return QIcon(new SymbolEngine(name, std::nullopt));
}

QIcon symbolIcon(const QString &name, const QColor &color)
{
    return QIcon(new SymbolEngine(name, color));
}

} // namespace routereel
