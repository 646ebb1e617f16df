#include "steppedslideradaptor.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// Qt's own slider interface speaks in positions and sets whole ones; this one
// speaks in the unit shown beside the slider, fractions included.
class SteppedSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    SteppedSliderAccessible(QSlider *slider, SteppedSliderAdaptor *adaptor)
        : QAccessibleWidget(slider, QAccessible::Slider), m_adaptor(adaptor)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // A stored value outside the range is read as the value text shows it, not where the handle rests.
    QVariant currentValue() const override { return m_adaptor ? m_adaptor->shownValue() : slider()->value(); }
    QVariant minimumValue() const override { return shown(slider()->minimum()); }
    QVariant maximumValue() const override { return shown(slider()->maximum()); }
    QVariant minimumStepSize() const override { return shown(slider()->singleStep()); }
    void setCurrentValue(const QVariant &value) override
    {
        bool ok = false;
        const double shownValue = value.toDouble(&ok);
        if (ok && m_adaptor)
            m_adaptor->setShown(shownValue);
    }

private:
    QSlider *slider() const { return static_cast<QSlider *>(widget()); }
    double shown(int positions) const { return m_adaptor ? m_adaptor->inShownUnit(positions) : positions; }

    QPointer<SteppedSliderAdaptor> m_adaptor;
};

QAccessibleInterface *steppedSliderAccessible(const QString &className, QObject *object)
{
    if (className != QLatin1String(QSlider::staticMetaObject.className()) || !object)
        return nullptr;
    auto *adaptor = object->findChild<SteppedSliderAdaptor *>(QString(), Qt::FindDirectChildrenOnly);
    return adaptor ? new SteppedSliderAccessible(static_cast<QSlider *>(object), adaptor) : nullptr;
}

} // namespace

SteppedSliderAdaptor::SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step, double scale,
                                           std::optional<double> shownScale)
    : QObject(slider)
    , m_slider(slider)
    , m_lower(lower)
    , m_step(step)
    , m_scale(scale)
    , m_shownScale(shownScale.value_or(scale))
    , m_steps(int(std::lround((upper - lower) / step)))
    , m_lowerPosition(int(std::lround(lower * scale)))
    , m_stepPositions(std::max(1, int(std::lround(step * scale))))
{
    static const bool accessibleInstalled = (QAccessible::installFactory(steppedSliderAccessible), true);
    Q_UNUSED(accessibleInstalled);
    m_slider->setRange(m_lowerPosition, positionOfStep(m_steps));
    m_slider->setSingleStep(m_stepPositions);
    m_slider->setPageStep(m_stepPositions);
    m_shown = m_slider->value();
    connect(m_slider, &QSlider::actionTriggered, this, &SteppedSliderAdaptor::stepFrom);
    connect(m_slider, &QSlider::valueChanged, this, &SteppedSliderAdaptor::moved);
}

int SteppedSliderAdaptor::stepIndex(int position) const
{
    return std::clamp(int(std::lround(double(position - m_lowerPosition) / m_stepPositions)), 0, m_steps);
}

int SteppedSliderAdaptor::positionOfStep(int index) const
{
    return m_lowerPosition + index * m_stepPositions;
}

double SteppedSliderAdaptor::valueAt(int position) const
{
    // 0.1 + 2 × 0.1 is 0.30000000000000004; store the 0.3 the user sees.
    return std::round((m_lower + stepIndex(position) * m_step) * 1e9) / 1e9;
}

int SteppedSliderAdaptor::positionFor(double value) const
{
    if (std::isnan(value))
        return m_slider->minimum();
    // Clamped while still a double: a stored 1e300 must not reach the conversion.
    const double units = std::clamp(value * m_scale, double(m_slider->minimum()), double(m_slider->maximum()));
    // As the value text reads it: whole numbers truncated, percentages rounded.
    return int(m_scale == 1 ? std::trunc(units) : std::round(units));
}

double SteppedSliderAdaptor::shownValue() const
{
    return m_outOfRange.value_or(inShownUnit(m_slider->value()));
}

void SteppedSliderAdaptor::show(double value)
{
    {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(positionFor(value));
    }
    m_shown = m_slider->value();
    m_outOfRange.reset();
    const double units = value * m_scale;
    if (std::isfinite(units) && (units < m_slider->minimum() || units > m_slider->maximum()))
        m_outOfRange = (m_scale == 1 ? std::trunc(units) : std::round(units)) * m_shownScale / m_scale;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(m_slider, shownValue());
        QAccessible::updateAccessibility(&event);
    }
}

void SteppedSliderAdaptor::setShown(double wanted)
{
    if (!std::isfinite(wanted))
        return;
    // Clamped while still a double, as in positionFor().
    const double positions = std::clamp(wanted * m_scale / m_shownScale, double(m_slider->minimum()),
                                        double(m_slider->maximum()));
    const int position = int(std::lround(positions));
    // A stored value beyond the end the handle rests at: setting that end is still a change.
    if (position == m_slider->value() && m_outOfRange && *m_outOfRange != wanted)
        moved(position);
    else
        m_slider->setValue(position);
}

void SteppedSliderAdaptor::stepFrom(int action)
{
    // A key from a value off the grid goes to the next step in its direction,
    // not past it.
    const int from = m_slider->value();
    const double steps = double(from - m_lowerPosition) / m_stepPositions;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderPageStepAdd:
        m_slider->setSliderPosition(positionOfStep(std::min(m_steps, int(std::floor(steps)) + 1)));
        break;
    case QAbstractSlider::SliderSingleStepSub:
    case QAbstractSlider::SliderPageStepSub:
        m_slider->setSliderPosition(positionOfStep(std::max(0, int(std::ceil(steps)) - 1)));
        break;
    default:
        break;
    }
}

void SteppedSliderAdaptor::moved(int position)
{
    // Qt's accessibility value interface sets a value without asking whether
    // the slider, or the panel around it, is enabled: put the handle back.
    const bool enabled = m_slider->isEnabled();
    const int onGrid = enabled ? positionOfStep(stepIndex(position)) : m_shown;
    if (onGrid != position) {
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(onGrid);
    }
    if (!enabled)
        return;
    m_shown = onGrid;
    m_outOfRange.reset();
    emit edited(valueAt(onGrid));
}

} // namespace routereel
