#include "panelstyle.h"

#include "appfilter.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariant>
#include <QWheelEvent>
#include <QWidget>

namespace routereel::panelstyle {

namespace {

const char toneProperty[] = "routereelTone";
const char wheelProperty[] = "routereelWheelScrolls";

bool changesValueOnWheel(const QObject *object)
{
    if (qobject_cast<const QScrollBar *>(object))
        return false;
    return qobject_cast<const QAbstractSlider *>(object) || qobject_cast<const QComboBox *>(object)
        || qobject_cast<const QAbstractSpinBox *>(object);
}

// Takes the wheel from value controls under a marked root and hands it to the
// scroll area around them, if any.
class WheelPastControls : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel || !changesValueOnWheel(watched))
            return false;
        auto *control = static_cast<QWidget *>(watched);
        QAbstractScrollArea *area = nullptr;
        bool marked = false;
        for (QWidget *w = control->parentWidget(); w && !marked; w = w->parentWidget()) {
            auto *scroll = qobject_cast<QAbstractScrollArea *>(w);
            if (!area && scroll && scroll->viewport()->isAncestorOf(control))
                area = scroll;
            marked = w->property(wheelProperty).toBool();
        }
        if (!marked)
            return false;
        auto *wheel = static_cast<QWheelEvent *>(event);
        wheel->ignore();
        if (area) {
            // Sent on by hand: Qt passes a wheel on to the parents only when it came from the window system.
            QWidget *viewport = area->viewport();
            QWheelEvent onward(viewport->mapFromGlobal(wheel->globalPosition()), wheel->globalPosition(),
                               wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(), wheel->modifiers(),
                               wheel->phase(), wheel->inverted(), wheel->source());
            QCoreApplication::sendEvent(viewport, &onward);
            wheel->setAccepted(onward.isAccepted());
        }
        return true;
    }
};

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

void wheelScrollsPastControls(QWidget *root)
{
    markForAppFilter<WheelPastControls>(root, wheelProperty);
}

void makeProminent(QPushButton *button)
{
    QPalette palette = button->parentWidget() ? button->parentWidget()->palette() : button->palette();
    const QPalette base = palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, base.color(group, QPalette::Highlight));
        palette.setColor(group, QPalette::ButtonText, base.color(group, QPalette::HighlightedText));
    }
    button->setPalette(palette);
}

QLocale interfaceLocale(const QString &appLanguage)
{
    if (appLanguage == QLatin1String("zh-Hans"))
        return QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

} // namespace routereel::panelstyle
