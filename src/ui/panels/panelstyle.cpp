#include "panelstyle.h"

#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

namespace routereel::panelstyle {

namespace {

const char toneProperty[] = "routereelTone";

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor blend(QColor over, const QColor &under, double alpha)
{
    return QColor::fromRgbF(float(over.redF() * alpha + under.redF() * (1 - alpha)),
                            float(over.greenF() * alpha + under.greenF() * (1 - alpha)),
                            float(over.blueF() * alpha + under.blueF() * (1 - alpha)));
}

} // namespace

QFont font(int pixelSize, QFont::Weight weight, bool monospaced)
{
    QFont f = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QColor color(Tone tone, const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    const bool dark = isDark(palette);
    switch (tone) {
    case Tone::primary:
        return text;
    case Tone::secondary:
        return blend(text, back, 0.6);
    case Tone::tertiary:
        return blend(text, back, 0.4);
    case Tone::accent:
        return palette.color(QPalette::Highlight);
    case Tone::green:
        return dark ? QColor(48, 209, 88) : QColor(40, 167, 69);
    case Tone::orange:
        return dark ? QColor(255, 159, 10) : QColor(245, 140, 0);
    case Tone::red:
        return dark ? QColor(255, 69, 58) : QColor(230, 45, 35);
    case Tone::blue:
        return dark ? QColor(10, 132, 255) : QColor(0, 112, 240);
    case Tone::white:
        return Qt::white;
    }
    return text;
}

void setTone(QWidget *widget, Tone tone)
{
    widget->setProperty(toneProperty, int(tone));
    // From the window's palette: a toned parent must not tone its children twice.
    QPalette palette = widget->palette();
    const QColor c = color(tone, widget->window()->palette());
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::Text, c);
    palette.setColor(QPalette::ButtonText, c);
    widget->setPalette(palette);
}

void applyTones(QWidget *root)
{
    const QList<QWidget *> children = root->findChildren<QWidget *>();
    for (QWidget *child : children) {
        const QVariant tone = child->property(toneProperty);
        if (tone.isValid())
            setTone(child, Tone(tone.toInt()));
    }
}

void followChange(QWidget *view, const QEvent *event, const std::function<void()> &retranslate)
{
    if (event->type() == QEvent::PaletteChange)
        applyTones(view);
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::PaletteChange)
        retranslate();
}

QHBoxLayout *sheetHeader(QDialog *sheet, QVBoxLayout **column, QLabel **icon, QLabel **title)
{
    *column = new QVBoxLayout(sheet);
    (*column)->setContentsMargins(0, 0, 0, 0);
    (*column)->setSpacing(0);
    auto *header = new QHBoxLayout;
    header->setContentsMargins(12, 10, 12, 10);
    header->setSpacing(6);
    *icon = new QLabel(sheet);
    header->addWidget(*icon);
    *title = new QLabel(sheet);
    (*title)->setFont(font(13, QFont::Bold));
    header->addWidget(*title);
    header->addStretch(1);
    return header;
}

void finishSheetHeader(QDialog *sheet, QVBoxLayout *column, QHBoxLayout *header)
{
    column->addLayout(header);
    column->addWidget(divider(sheet));
}

QScrollArea *scrollingList(QWidget *parent, QWidget **rows, QVBoxLayout **rowLayout)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    *rows = new QWidget;
    *rowLayout = new QVBoxLayout(*rows);
    (*rowLayout)->setContentsMargins(0, 4, 0, 4);
    (*rowLayout)->setSpacing(0);
    scroll->setWidget(*rows);
    return scroll;
}

QWidget *centredColumn(QWidget *parent, std::initializer_list<QWidget *> items)
{
    auto *page = new QWidget(parent);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(8);
    column->addStretch(1);
    for (QWidget *item : items) {
        item->setParent(page);
        column->addWidget(item, 0, Qt::AlignHCenter);
    }
    column->addStretch(1);
    return page;
}

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QLocale interfaceLocale(const QString &appLanguage)
{
    if (appLanguage == QLatin1String("zh-Hans"))
        return QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

} // namespace routereel::panelstyle
