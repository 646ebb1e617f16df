#include "inspectorlook.h"

#include "fadedlabel.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
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
    return button;
}

} // namespace routereel::inspectorlook
