#include "symbolicon.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <optional>

namespace routereel {

namespace {

// Symbol name → file under resources/icons.
const QHash<QString, QString> &table()
{
    static const QHash<QString, QString> files{
        {QStringLiteral("checkmark.circle"), QStringLiteral("checkmark-circle.svg")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("checkmark-circle-fill.svg")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("xmark-circle-fill.svg")},
        {QStringLiteral("exclamationmark.circle.fill"), QStringLiteral("exclamationmark-circle-fill.svg")},
        {QStringLiteral("minus.circle.fill"), QStringLiteral("minus-circle-fill.svg")},
        {QStringLiteral("xmark"), QStringLiteral("xmark.svg")},
        {QStringLiteral("circle.dotted"), QStringLiteral("circle-dotted.svg")},
        {QStringLiteral("stop.fill"), QStringLiteral("stop-fill.svg")},
        {QStringLiteral("play.fill"), QStringLiteral("play-fill.svg")},
        {QStringLiteral("pause.fill"), QStringLiteral("pause-fill.svg")},
        {QStringLiteral("backward.end.fill"), QStringLiteral("backward-end-fill.svg")},
        {QStringLiteral("chevron.right"), QStringLiteral("chevron-right.svg")},
        {QStringLiteral("ellipsis"), QStringLiteral("ellipsis.svg")},
        {QStringLiteral("clock"), QStringLiteral("clock.svg")},
        {QStringLiteral("clock.arrow.circlepath"), QStringLiteral("clock-arrow-circlepath.svg")},
        {QStringLiteral("doc.text"), QStringLiteral("doc-text.svg")},
        {QStringLiteral("doc.badge.plus"), QStringLiteral("doc-badge-plus.svg")},
        {QStringLiteral("folder"), QStringLiteral("folder.svg")},
        {QStringLiteral("tray"), QStringLiteral("tray.svg")},
        {QStringLiteral("internaldrive"), QStringLiteral("internaldrive.svg")},
        {QStringLiteral("trash"), QStringLiteral("trash.svg")},
        {QStringLiteral("xmark.bin"), QStringLiteral("xmark-bin.svg")},
        {QStringLiteral("film"), QStringLiteral("film.svg")},
        {QStringLiteral("film.fill"), QStringLiteral("film-fill.svg")},
        {QStringLiteral("sun.max.fill"), QStringLiteral("sun-max-fill.svg")},
        {QStringLiteral("moon.fill"), QStringLiteral("moon-fill.svg")},
        {QStringLiteral("globe"), QStringLiteral("globe.svg")},
        {QStringLiteral("point.topleft.down.to.point.bottomright.curvepath"), QStringLiteral("track-path.svg")},
        {QStringLiteral("point.topleft.down.to.point.bottomright.curvepath.fill"), QStringLiteral("track-path-fill.svg")},
        {QStringLiteral("square.and.arrow.up.fill"), QStringLiteral("square-and-arrow-up-fill.svg")},
        {QStringLiteral("exclamationmark.bubble.fill"), QStringLiteral("exclamationmark-bubble-fill.svg")},
        {QStringLiteral("envelope"), QStringLiteral("envelope.svg")},
        {QStringLiteral("envelope.fill"), QStringLiteral("envelope-fill.svg")},
        {QStringLiteral("paperplane.fill"), QStringLiteral("paperplane-fill.svg")},
        {QStringLiteral("bird"), QStringLiteral("bird.svg")},
        {QStringLiteral("map"), QStringLiteral("map.svg")},
        {QStringLiteral("location"), QStringLiteral("location.svg")},
        {QStringLiteral("flag.fill"), QStringLiteral("flag-fill.svg")},
        {QStringLiteral("plus.magnifyingglass"), QStringLiteral("plus-magnifyingglass.svg")},
        {QStringLiteral("minus.magnifyingglass"), QStringLiteral("minus-magnifyingglass.svg")},
        {QStringLiteral("scissors"), QStringLiteral("scissors.svg")},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("arrow-uturn-backward.svg")},
        {QStringLiteral("arrow.uturn.forward"), QStringLiteral("arrow-uturn-forward.svg")},
        {QStringLiteral("align.horizontal.left"), QStringLiteral("align-horizontal-left.svg")},
    };
    return files;
}

// The file's text, or empty for an unknown name (warned about once per name).
QByteArray source(const QString &name)
{
    static QHash<QString, QByteArray> loaded;
    const auto found = loaded.constFind(name);
    if (found != loaded.constEnd())
        return *found;
    QByteArray text;
    const QString file = symbolFile(name);
    QFile svg(file);
    if (!file.isEmpty() && svg.open(QIODevice::ReadOnly))
        text = svg.readAll();
    else
        qWarning("[symbolIcon] unknown symbol \"%s\"", qPrintable(name));
    loaded.insert(name, text);
    return text;
}

// The SVG in `color` with its strokes scaled by `weight`.
QByteArray tinted(const QString &name, const QColor &color, double weight)
{
    QByteArray text = source(name);
    if (text.isEmpty())
        return text;
    text.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    if (weight != 1) {
        static const QRegularExpression width(QStringLiteral("stroke-width=\"([0-9.]+)\""));
        QString svg = QString::fromUtf8(text);
        QString out;
        qsizetype last = 0;
        for (auto it = width.globalMatch(svg); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += svg.mid(last, m.capturedStart() - last);
            out += QStringLiteral("stroke-width=\"%1\"").arg(m.captured(1).toDouble() * weight);
            last = m.capturedEnd();
        }
        out += svg.mid(last);
        text = out.toUtf8();
    }
    return text;
}

void render(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color, double weight)
{
    const QByteArray svg = tinted(name, color, weight);
    if (svg.isEmpty())
        return;
    QSvgRenderer renderer(svg);
    const double side = std::min(rect.width(), rect.height());
    const QRectF square(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * color.alphaF());
    renderer.render(&painter, square);
    painter.restore();
}

QColor paletteColor(QIcon::Mode mode)
{
    const QPalette palette = QGuiApplication::palette();
    if (mode == QIcon::Disabled) {
        QColor faded = palette.color(QPalette::Active, QPalette::WindowText);
        faded.setAlphaF(0.35f);
        return faded;
    }
    return palette.color(QPalette::Active, QPalette::WindowText);
}

// Draws at the requested size when asked, in a fixed colour or the palette's.
class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, std::optional<QColor> color)
        : m_name(std::move(name)), m_color(std::move(color))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        render(*painter, rect, m_name, colorFor(mode), 1);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const QColor color = colorFor(mode);
        // Before Qt 6.8, QIcon::pixmap hands over the size already in device pixels.
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        const QSize pixels = size;
#else
        const QSize pixels = size * scale;
#endif
        const QString key = QStringLiteral("routereel-symbol:%1:%2x%3:%4")
                                .arg(m_name)
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(color.name(QColor::HexArgb));
        QPixmap result;
        if (!QPixmapCache::find(key, &result)) {
            result = QPixmap(pixels);
            result.fill(Qt::transparent);
            QPainter painter(&result);
            render(painter, QRectF(QPointF(0, 0), pixels), m_name, color, 1);
            painter.end();
            QPixmapCache::insert(key, result);
        }
        result.setDevicePixelRatio(scale);
        return result;
    }

    QIconEngine *clone() const override { return new SymbolEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("routereel-symbol"); }
    QString iconName() override { return m_name; }
    bool isNull() override { return symbolFile(m_name).isEmpty(); }

private:
    QColor colorFor(QIcon::Mode mode) const
    {
        if (!m_color)
            return paletteColor(mode);
        QColor color = *m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.35f);
        return color;
    }

    QString m_name;
    std::optional<QColor> m_color;
};

} // namespace

QStringList symbolNames()
{
    QStringList names = table().keys();
    names.sort();
    return names;
}

QString symbolFile(const QString &name)
{
    const auto found = table().constFind(name);
    return found == table().constEnd() ? QString() : QStringLiteral(":/icons/") + *found;
}

QIcon symbolIcon(const QString &name)
{
    return QIcon(new SymbolEngine(name, std::nullopt));
}

QIcon symbolIcon(const QString &name, const QColor &color)
{
    return QIcon(new SymbolEngine(name, color));
}

QPixmap symbolPixmap(const QString &name, const QColor &color, int pixelSize, double weight)
{
    const double ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap result(QSize(pixelSize, pixelSize) * ratio);
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    render(painter, QRectF(0, 0, pixelSize, pixelSize), name, color, weight);
    return result;
}

void paintSymbol(QPainter &painter, const QRectF &rect, const QString &name, const QColor &color, double weight)
{
    render(painter, rect, name, color, weight);
}

} // namespace routereel
