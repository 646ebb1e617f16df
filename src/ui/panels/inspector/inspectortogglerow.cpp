#include "inspectortogglerow.h"

#include "inspectorlook.h"

#include <QEvent>
#include <QPainter>
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
    // Reached by Tab, not by a click: Space after a click still plays.
    setFocusPolicy(Qt::TabFocus);
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
    const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    const QRect focusRect = style()->subElementRect(QStyle::SE_CheckBoxFocusRect, &option, this);
    option.rect = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_CheckBoxLabel, &option, &painter, this);

    inspectorlook::drawIndicator(painter, palette(), box, isChecked(), hasFocus() || isChecked());
    // A checked box already wears the highlight: the focus rings the caption.
    if (hasFocus())
        inspectorlook::drawFocusRing(painter, palette(), focusRect);
}

void InspectorToggleRow::retranslate()
{
    setText(inspectorlook::translated(m_caption));
}

} // namespace routereel
