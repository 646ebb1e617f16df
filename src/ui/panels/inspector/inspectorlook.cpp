#include "inspectorlook.h"

#include "fadedlabel.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace routereel::inspectorlook {

namespace {

QFont sized(QFont font, int pixels, QFont::Weight weight)
{
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QColor faded(const QPalette &palette, double alpha)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

} // namespace

QString translated(const char *text)
{
    return QCoreApplication::translate(context, text);
}

QFont captionFont() { return sized(QFont(), 11, QFont::Medium); }
QFont buttonFont() { return sized(QFont(), 11, QFont::Normal); }
QFont valueFont() { return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), 10, QFont::Normal); }
QFont sideLabelFont() { return sized(QFont(), 10, QFont::Normal); }

QColor secondaryColor(const QPalette &palette) { return faded(palette, 0.6); }
QColor tertiaryColor(const QPalette &palette) { return faded(palette, 0.35); }

QLabel *makeCaption(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(captionFont());
    return label;
}

QLabel *makeValueLabel(int width, QWidget *parent)
{
    auto *label = new FadedLabel(parent);
    label->setFont(valueFont());
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QPushButton *makeWideButton(QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setFont(buttonFont());
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Reached by Tab, not by a click: Space after a click still plays.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void drawIndicator(QPainter &painter, const QPalette &p, QRectF rect, bool checked, bool highlighted, bool down,
                   bool round)
{
    const QRectF box = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = checked ? p.color(QPalette::Highlight) : p.color(QPalette::Base);
    if (down)
        fill = fill.darker(115);
    painter.setPen(QPen(highlighted ? p.color(QPalette::Highlight) : tertiaryColor(p), 1));
    painter.setBrush(fill);
    if (round)
        painter.drawEllipse(box);
    else
        painter.drawRoundedRect(box, 3, 3);
    if (checked && round) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(p.color(QPalette::HighlightedText));
        painter.drawEllipse(box.center(), box.width() * 0.2, box.width() * 0.2);
    } else if (checked) {
        QPainterPath tick;
        tick.moveTo(box.left() + box.width() * 0.22, box.center().y());
        tick.lineTo(box.left() + box.width() * 0.42, box.bottom() - box.height() * 0.25);
        tick.lineTo(box.right() - box.width() * 0.2, box.top() + box.height() * 0.25);
        painter.setPen(QPen(p.color(QPalette::HighlightedText), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    painter.restore();
}

void drawFocusRing(QPainter &painter, const QPalette &p, QRectF rect, double radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(p.color(QPalette::Highlight), 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    painter.restore();
}

} // namespace routereel::inspectorlook
