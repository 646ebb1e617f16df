#pragma once

#include <QObject>

class QSlider;

namespace routereel {

// Lets an integer QSlider edit a double over [lower, upper] in whole steps from
// `lower`. The slider counts in the unit its value text shows (`scale` 100 for
// a percentage), so assistive tools read and set the number the user sees; a
// position off the grid, whether dragged or set from outside, is moved onto it.
// Showing a stored value never writes it back, so a value off the grid or out
// of range stays as stored until the user moves the slider. A disabled slider
// changes no value, whatever moves it.
class SteppedSliderAdaptor : public QObject {
    Q_OBJECT

public:
    SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step, double scale = 1);

    // Places the handle for `value`: at the number its text shows, the nearer
    // end when outside the range, the lower end for NaN. Emits nothing.
    void show(double value);

    // The value of a slider position, at the nearest step.
    double valueAt(int position) const;
    // The slider position for a value, as show() places it.
    int positionFor(double value) const;

    QSlider *slider() const { return m_slider; }

signals:
    // The user moved the slider to a new step.
    void edited(double value);

private:
    int stepIndex(int position) const;
    int positionOfStep(int index) const;
    void stepFrom(int action);
    void moved(int position);

    QSlider *m_slider;
    double m_lower;
    double m_step;
    double m_scale;
    int m_steps;
    int m_lowerPosition;
    int m_stepPositions;
    int m_shown = 0;
};

} // namespace routereel
