#include "inspectorsliderline.h"

#include "fadedlabel.h"
#include "inspectorlook.h"
#include "inspectorvaluetext.h"

#include "ui/panels/steppedslideradaptor.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QSlider>

namespace routereel {

InspectorSliderLine::InspectorSliderLine(Range range, Format format, int textWidth, std::function<double()> read,
                                         std::function<void(double)> write, QWidget *parent)
    : QWidget(parent)
    , m_format(format)
    , m_read(std::move(read))
    , m_side(new FadedLabel(this))
    , m_slider(new QSlider(Qt::Horizontal, this))
    , m_adaptor(new SteppedSliderAdaptor(m_slider, range.lower, range.upper, range.step,
                                           format == Format::percent ? 100 : 1))
    , m_value(inspectorlook::makeValueLabel(textWidth, this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_side->setFont(inspectorlook::sideLabelFont());
    m_side->setFixedWidth(14);
    m_side->hide();
    layout->addWidget(m_side);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_value);
    connect(m_adaptor, &SteppedSliderAdaptor::edited, this, std::move(write));
    refresh();
}

void InspectorSliderLine::setSideLabel(const char *text)
{
    m_sideText = text;
    m_side->show();
    retranslate();
}

void InspectorSliderLine::setSideLabelShown(bool shown)
{
    m_side->setVisible(shown);
}

void InspectorSliderLine::refresh()
{
    const double value = m_read();
    m_adaptor->show(value);
    m_value->setText(m_format == Format::integer ? integerValueText(value) : percentValueText(value));
}

QString InspectorSliderLine::valueText() const
{
    return m_value->text();
}

void InspectorSliderLine::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void InspectorSliderLine::retranslate()
{
    if (m_sideText)
        m_side->setText(inspectorlook::translated(m_sideText));
}

} // namespace routereel
