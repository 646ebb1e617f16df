#include "steppedslideradaptor.h"

#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace routereel {

SteppedSliderAdaptor::SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step, double scale)
    : QObject(slider)
    , m_slider(slider)
    , m_lower(lower)
    , m_step(step)
    , m_scale(scale)
    , m_steps(int(std::lround((upper - lower) / step)))
    , m_lowerPosition(int(std::lround(lower * scale)))
    , m_stepPositions(std::max(1, int(std::lround(step * scale))))
{
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

void SteppedSliderAdaptor::show(double value)
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(positionFor(value));
    m_shown = m_slider->value();
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
    emit edited(valueAt(onGrid));
}

} // namespace routereel
