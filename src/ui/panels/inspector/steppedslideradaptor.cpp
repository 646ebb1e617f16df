#include "steppedslideradaptor.h"

#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace routereel {

SteppedSliderAdaptor::SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step)
    : QObject(slider)
    , m_slider(slider)
    , m_lower(lower)
    , m_step(step)
    , m_steps(int(std::lround((upper - lower) / step)))
{
    m_slider->setRange(0, m_steps);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(1);
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) { emit edited(valueAt(position)); });
}

double SteppedSliderAdaptor::valueAt(int position) const
{
    // 0.1 + 2 × 0.1 is 0.30000000000000004; store the 0.3 the user sees.
    return std::round((m_lower + position * m_step) * 1e9) / 1e9;
}

int SteppedSliderAdaptor::positionFor(double value) const
{
    if (std::isnan(value))
        return 0;
    // Clamped while still a double: a stored 1e300 must not reach the conversion.
    const double steps = std::clamp((value - m_lower) / m_step, 0.0, double(m_steps));
    return int(std::lround(steps));
}

void SteppedSliderAdaptor::show(double value)
{
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(positionFor(value));
}

} // namespace routereel
