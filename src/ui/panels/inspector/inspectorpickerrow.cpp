#include "inspectorpickerrow.h"

#include "checkedtabstop.h"
#include "inspectorlook.h"
#include "segmentbutton.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace routereel {

InspectorPickerRow::InspectorPickerRow(const char *caption, const QList<Segment> &segments,
                                       std::function<int()> read, std::function<void(int)> write, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption)
    , m_segments(segments)
    , m_read(std::move(read))
    , m_layout(new QVBoxLayout(this))
    , m_captionLabel(inspectorlook::makeCaption(this))
    , m_group(new QButtonGroup(this))
{
    setObjectName(QString::fromUtf8(caption));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(6);
    m_layout->addWidget(m_captionLabel);
    auto *strip = new QHBoxLayout;
    strip->setSpacing(0);
    for (int i = 0; i < m_segments.size(); ++i) {
        const auto place = m_segments.size() == 1 ? SegmentButton::Place::only
                           : i == 0                 ? SegmentButton::Place::first
                           : i == m_segments.size() - 1 ? SegmentButton::Place::last
                                                        : SegmentButton::Place::middle;
        auto *button = new SegmentButton(place, this);
        button->setFont(inspectorlook::buttonFont());
        m_group->addButton(button, i);
        strip->addWidget(button);
    }
    m_layout->addLayout(strip);
    m_tabStop = new CheckedTabStop(m_group);
    // idToggled, not clicked: a click on the chosen segment changes nothing and must store nothing.
    connect(m_group, &QButtonGroup::idToggled, this, [write = std::move(write)](int id, bool checked) {
        if (checked)
            write(id);
    });
    retranslate();
    refresh();
}

QAbstractButton *InspectorPickerRow::segment(int index) const
{
    return m_group->button(index);
}

void InspectorPickerRow::refresh()
{
    {
        const QSignalBlocker blocker(m_group);
        if (QAbstractButton *chosen = m_group->button(m_read()))
            chosen->setChecked(true);
    }
    m_tabStop->refresh();
}

void InspectorPickerRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void InspectorPickerRow::retranslate()
{
    m_captionLabel->setText(inspectorlook::translated(m_caption));
    for (int i = 0; i < m_segments.size(); ++i) {
        const Segment &s = m_segments[i];
        m_group->button(i)->setText(s.translated ? inspectorlook::translated(s.text) : QString::fromUtf8(s.text));
    }
}

} // namespace routereel
