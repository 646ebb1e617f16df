#include "inspectortogglerow.h"

#include "inspectorlook.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionButton>

namespace routereel {

InspectorToggleRow::InspectorToggleRow(const char *caption, std::function<bool()> read,
                                       std::function<void(bool)> write, QWidget *parent)
    : QCheckBox(parent)
    , m_caption(caption)
    , m_read(std::move(read))
{
    setObjectName(QString::fromUtf8(caption));
    setFont(inspectorlook::captionFont());
    connect(this, &QCheckBox::toggled, this, std::move(write));
    retranslate();
    refresh();
}

void InspectorToggleRow::refresh()
{
    const QSignalBlocker blocker(this);
    setChecked(m_read());
}

void InspectorToggleRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QCheckBox::changeEvent(event);
}

void InspectorToggleRow::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRectF box = QRectF(style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this))
                           .adjusted(0.5, 0.5, -0.5, -0.5);
    option.rect = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_CheckBoxLabel, &option, &painter, this);

    const QPalette &p = palette();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(hasFocus() || isChecked() ? p.color(QPalette::Highlight) : inspectorlook::tertiaryColor(p), 1));
    painter.setBrush(isChecked() ? p.color(QPalette::Highlight) : p.color(QPalette::Base));
    painter.drawRoundedRect(box, 3, 3);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + box.width() * 0.22, box.center().y());
        tick.lineTo(box.left() + box.width() * 0.42, box.bottom() - box.height() * 0.25);
        tick.lineTo(box.right() - box.width() * 0.2, box.top() + box.height() * 0.25);
        painter.setPen(QPen(p.color(QPalette::HighlightedText), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
}

void InspectorToggleRow::retranslate()
{
    setText(inspectorlook::translated(m_caption));
}

} // namespace routereel
