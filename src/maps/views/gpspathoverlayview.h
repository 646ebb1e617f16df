#pragma once

#include "maps/gpspathprojection.h"
#include "tracks/trackpoint.h"
#include "widgets/mapenums.h"
#include "widgets/views/backgroundbuild.h"

#include <QImage>

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
// drawn in place over a black square; round either way. Its content is laid
// out in canvas units (a square of side `size`) and drawn at the widget's size.
// The disc and the route are drawn once per change of what they show (off the
// main thread for a long track) and kept as a picture; a paint adds the dot.
class GPSPathOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit GPSPathOverlayView(QWidget *parent = nullptr);

    void setState(const GPSPathOverlayState &state);
    void setOpacity(double opacity);
    // Widget pixels per canvas unit, for the web map's page.
    void setCanvasScale(double scale);
    const GPSPathOverlayState &state() const { return m_state; }
    // The hosted web map; none while the route is drawn in place.
    GPSPathWebMapView *webMapView() const { return m_webMap; }
    // True while the route of the current state is still being drawn off the main thread.
    bool isDrawingRoute() const { return m_base.isBuilding(); }
    // True once the disc and the route have been drawn and none is being drawn.
    bool isRouteDrawn() const { return m_base.hasValue() && !m_base.isBuilding(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Base {
        QImage image;                   // disc and route at the widget's pixels
        GPSPathProjection projection;   // without its points: for the dot
    };
    void styleWebMap();

    GPSPathOverlayState m_state;
    double m_opacity = 1;
    double m_scale = 1;
    QPointer<GPSPathWebMapView> m_webMap;
    QString m_webMapIdentity;
    BackgroundBuild<Base> m_base{this, [this] { update(); }};
};

} // namespace routereel
