#include "inspectorsliderrow.h"

#include "inspectorlook.h"

#include <QEvent>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace routereel {

InspectorSliderRow::InspectorSliderRow(const char *caption, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption)
    , m_layout(new QVBoxLayout(this))
    , m_captionLabel(inspectorlook::makeCaption(this))
{
    setObjectName(QString::fromUtf8(caption));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(6);
    m_layout->addWidget(m_captionLabel);
    retranslate();
}

InspectorSliderRow::InspectorSliderRow(const char *caption, InspectorSliderLine::Range range,
                                       InspectorSliderLine::Format format, int textWidth, std::function<double()> read,
                                       std::function<void(double)> write, QWidget *parent)
    : InspectorSliderRow(caption, parent)
{
    addLine(new InspectorSliderLine(range, format, textWidth, std::move(read), std::move(write)));
}

InspectorSliderLine *InspectorSliderRow::addLine(InspectorSliderLine *line, const char *accessibleName)
{
    m_layout->addWidget(line);
    m_lines.append({line, accessibleName ? accessibleName : m_caption});
    retranslate();
    return line;
}

void InspectorSliderRow::setSpacing(int spacing)
{
    m_layout->setSpacing(spacing);
}

void InspectorSliderRow::refresh()
{
    for (const NamedLine &l : m_lines)
        l.line->refresh();
}

void InspectorSliderRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void InspectorSliderRow::retranslate()
{
    m_captionLabel->setText(inspectorlook::translated(m_caption));
    for (const NamedLine &l : m_lines)
        l.line->slider()->setAccessibleName(inspectorlook::translated(l.name));
}

} // namespace routereel
