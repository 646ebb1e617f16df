#pragma once

#include "inspectorsliderline.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace routereel {

// A caption over one or more slider lines.
class InspectorSliderRow : public QWidget {
    Q_OBJECT

public:
    explicit InspectorSliderRow(const char *caption, QWidget *parent = nullptr);

    // The usual row: one line under the caption.
    InspectorSliderRow(const char *caption, InspectorSliderLine::Range range, InspectorSliderLine::Format format,
                       int textWidth, std::function<double()> read, std::function<void(double)> write,
                       QWidget *parent = nullptr);

    // Adds a line under the others; its slider is named `accessibleName`, or the caption when none.
    InspectorSliderLine *addLine(InspectorSliderLine *line, const char *accessibleName = nullptr);
    InspectorSliderLine *line(int index) const { return m_lines.value(index).line; }
    void setSpacing(int spacing);

    void refresh();

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    struct NamedLine {
        InspectorSliderLine *line;
        const char *name;
    };
    const char *m_caption;
    QVBoxLayout *m_layout;
    QLabel *m_captionLabel;
    QList<NamedLine> m_lines;
};

} // namespace routereel
