#pragma once

#include "inspectorsection.h"
#include "widgets/mapenums.h"

class QPushButton;

namespace routereel {

class InspectorPickerRow;
class InspectorSliderRow;
class MapSettings;

// "MAP": the map widget's switch, the map provider (with the token that Mapbox
// needs), border style, orientation, size, zoom, corner radius and opacity.
class MapSection : public InspectorSection {
    Q_OBJECT

public:
    MapSection(MapSettings &settings, WindowState &state, QWidget *parent = nullptr);

    QPushButton *setTokenButton() const { return m_setToken; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void saveMapProvider(MapProvider provider);
    void retranslate();

    WindowState &m_state;
    QPushButton *m_setToken;
};

} // namespace routereel
