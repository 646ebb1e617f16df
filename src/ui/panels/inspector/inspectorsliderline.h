#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QSlider;

namespace routereel {

class SteppedSliderAdaptor;

// One line of a slider row: an optional short label, a slider over a stepped
// range and the stored value as text. The text always shows the stored value,
// also when it lies outside the slider's range.
class InspectorSliderLine : public QWidget {
    Q_OBJECT

public:
    enum class Format { integer, percent };

    struct Range {
        double lower;
        double upper;
        double step;
    };

    InspectorSliderLine(Range range, Format format, int textWidth, std::function<double()> read,
                        std::function<void(double)> write, QWidget *parent = nullptr);

    // A short label before the slider ("W"), 14 wide.
    void setSideLabel(const char *text);
    void setSideLabelShown(bool shown);

    void refresh();

    QSlider *slider() const { return m_slider; }
    SteppedSliderAdaptor *adaptor() const { return m_adaptor; }
    QString valueText() const;
    QLabel *sideLabel() const { return m_side; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    Format m_format;
    std::function<double()> m_read;
    const char *m_sideText = nullptr;
    QLabel *m_side;
    QSlider *m_slider;
    SteppedSliderAdaptor *m_adaptor;
    QLabel *m_value;
};

} // namespace routereel
