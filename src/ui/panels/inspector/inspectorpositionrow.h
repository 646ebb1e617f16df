#pragma once

#include "ui/state/windowstate.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace routereel {

// "Widget Position" with a button that sends one widget back to its default place.
class InspectorPositionRow : public QWidget {
    Q_OBJECT

public:
    InspectorPositionRow(WindowState &state, WidgetKind widget, QWidget *parent = nullptr);

    QPushButton *resetButton() const { return m_reset; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    QLabel *m_caption;
    QPushButton *m_reset;
};

} // namespace routereel
