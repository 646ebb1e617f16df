#pragma once

#include "tracks/trackpoint.h"
#include "widgets/mapenums.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

namespace routereel {

class GPSPathWebMapView;

struct GPSPathOverlayState {
    QUuid revision;  // new whenever the points change
    QList<TrackPoint> trackPoints;
    QList<int> breaks;
    double currentLat = 0;
    double currentLng = 0;
    double size = 150;
    bool showMap = false;
    MapProvider mapProvider = MapProvider::openStreetMap;
    QString mapboxToken;
    QString mapLanguage;
    std::optional<double> padding;
};

// The GPS path widget of the preview: the route over a web map (showMap), or
// drawn in place over a black square.
class GPSPathOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit GPSPathOverlayView(QWidget *parent = nullptr);

    void setState(const GPSPathOverlayState &state);
    const GPSPathOverlayState &state() const { return m_state; }
    // The hosted web map; none while the route is drawn in place.
    GPSPathWebMapView *webMapView() const { return m_webMap; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    GPSPathOverlayState m_state;
    QPointer<GPSPathWebMapView> m_webMap;
    QString m_webMapIdentity;
};

} // namespace routereel
