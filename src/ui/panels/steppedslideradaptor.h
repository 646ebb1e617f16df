#pragma once

#include <QObject>

#include <optional>

class QSlider;

namespace routereel {

// Lets an integer QSlider edit a double over [lower, upper] in whole steps from
// `lower`. The slider counts `scale` positions per unit of the value (100 for a
// percentage or a factor with two decimals). Assistive tools read and set the
// number the value text shows, the value times `shownScale` (by default the
// position: 40 for "40%"; 1 for a factor shown as "0.80"); a position off the
// grid, whether dragged or set from outside, is moved onto it. Showing a stored
// value never writes it back, so a value off the grid or out of range stays as
// stored until the user moves the slider. A disabled slider changes no value,
// whatever moves it. Made before the slider is named or shown, so that its
// accessible interface is the adaptor's.
class SteppedSliderAdaptor : public QObject {
    Q_OBJECT

public:
    SteppedSliderAdaptor(QSlider *slider, double lower, double upper, double step, double scale = 1,
                         std::optional<double> shownScale = std::nullopt);

    // Places the handle for `value`: at the number its text shows, the nearer
    // end when outside the range, the lower end for NaN. Emits nothing.
    void show(double value);

    // The value of a slider position, at the nearest step.
    double valueAt(int position) const;
    // The slider position for a value, as show() places it.
    int positionFor(double value) const;

    QSlider *slider() const { return m_slider; }

    // A number of slider positions in the unit the value text shows.
    double inShownUnit(int positions) const { return positions * m_shownScale / m_scale; }
    // The number the value text shows: a stored value outside the range, until
    // the user moves the slider, else the slider's own.
    double shownValue() const;
    // Moves the slider as a drag to `wanted` would; NaN and infinities move nothing.
    void setShown(double wanted);

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
    double m_shownScale;
    int m_steps;
    int m_lowerPosition;
    int m_stepPositions;
    int m_shown = 0;
    std::optional<double> m_outOfRange;  // the shown number of a stored value the slider cannot reach
};

} // namespace routereel
