#pragma once

#include "inspectorsection.h"
#include "ui/state/windowstate.h"

namespace routereel {

class TextWidgetSettings;

// What the sections of the three text widgets share: the switch, then the
// widget's own rows, then font size, opacity and position.
class TextWidgetSection : public InspectorSection {
    Q_OBJECT

protected:
    TextWidgetSection(const QString &key, TextWidgetSettings &settings, WidgetKind widget, WindowState &state,
                      QWidget *parent);

    // Adds the common rows after the widget's own and shows the stored values.
    void addTextRows();

private:
    TextWidgetSettings &m_settings;
    WidgetKind m_widget;
    WindowState &m_state;
};

} // namespace routereel
