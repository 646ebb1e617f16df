#pragma once

#include <QObject>

class QSlider;

namespace routereel {

// Lets an integer QSlider edit a double over [lower, upper] in whole steps from
// `lower`. Showing a stored value never writes it back, so a value off the
// grid or out of range stays as stored until the user moves the slider.
class SteppedSliderAdaptor : public QObject {
    Q_OBJECT

public:
    SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step);

    // Places the handle for `value`: the nearest step, the nearer end when
    // outside the range, the lower end for NaN. Emits nothing.
    void show(double value);

    // The value of a slider position, on the decimal grid of the step.
    double valueAt(int position) const;
    // The slider position for a value, as show() places it.
    int positionFor(double value) const;

    QSlider *slider() const { return m_slider; }

signals:
    // The user moved the slider to a new step.
    void edited(double value);

private:
    QSlider *m_slider;
    double m_lower;
    double m_step;
    int m_steps;
};

} // namespace routereel
