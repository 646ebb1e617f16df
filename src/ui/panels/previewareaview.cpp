#include "previewareaview.h"

#include "maps/views/gpspathoverlayview.h"
#include "maps/views/gpspathwebmapview.h"
#include "maps/views/mapoverlayview.h"
#include "timeline/playbackclock.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "timeline/views/compositionpreviewview.h"
#include "timeline/views/playerview.h"
#include "tracks/gpxservice.h"
#include "ui/icons/symbolicon.h"
#include "widgets/canvasgeometry.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartrateminmaxreducer.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "widgets/views/heartrategraphoverlayview.h"
#include "widgets/views/heartrateoverlayview.h"
#include "widgets/views/speedoverlayview.h"
#include "widgets/views/timeoverlayview.h"
#include "widgets/views/widgetborderoverlay.h"
#include "widgets/views/widgetcanvasdrag.h"
#include "widgets/views/widgetcanvaspreview.h"
#include "widgets/views/widgetcompassbadgeview.h"
#include "widgets/views/widgetselectionoutline.h"

#include <QDateTime>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace routereel {

namespace {

using ID = PreviewAreaView::PreviewWidgetID;

// Bottom to top.
constexpr std::array drawingOrder{ID::map, ID::gpsPath, ID::speed, ID::heartRateGraph, ID::heartRate, ID::time};

// How far a widget's border reaches beyond its content; the GTA rings stand out further.
double borderAllowance(MapBorderStyle style)
{
    return borderTotalWidth(style) * (style == MapBorderStyle::gta ? 1.5 : 1.0);
}

// The empty state's picture: the page with a plus badge, in the pane's secondary text colour.
class ImportSymbol : public QWidget {
public:
    explicit ImportSymbol(QWidget *parent) : QWidget(parent) { setFixedSize(60, 60); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QColor ink = palette().color(QPalette::WindowText);
        ink.setAlphaF(0.55f);
        paintSymbol(p, rect(), QStringLiteral("doc.badge.plus"), ink, 0.6);  // thin at this size
    }
};

} // namespace

PreviewAreaView::PreviewAreaView(const Models &models, WindowState &state, std::function<void()> onImportFiles,
                                 QWidget *parent)
    : QWidget(parent), m_models(models), m_state(state), m_onImportFiles(std::move(onImportFiles))
{
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);

    m_emptyState = new QWidget(this);
    auto *column = new QVBoxLayout(m_emptyState);
    column->setSpacing(16);
    column->addStretch();
    column->addWidget(new ImportSymbol(m_emptyState), 0, Qt::AlignHCenter);
    m_importButton = new QPushButton(m_emptyState);
    // Large and filled with the accent colour: the one thing to do here.
    m_importButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(highlight); color: palette(highlighted-text); border: none;"
        " border-radius: 6px; padding: 7px 18px; font-size: 15px; }"
        "QPushButton:pressed { background: palette(dark); }"));
    column->addWidget(m_importButton, 0, Qt::AlignHCenter);
    column->addStretch();
    connect(m_importButton, &QPushButton::clicked, this, [this] {
        if (m_onImportFiles)
            m_onImportFiles();
    });
    m_stack->addWidget(m_emptyState);

    m_canvas = new WidgetCanvasPreview(this);
    m_canvas->setAutoFillBackground(true);
    QPalette black = m_canvas->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_canvas->setPalette(black);
    m_video = new CompositionPreviewView(state.compositionMode(), models.playerService.player());
    m_canvas->placeView(m_video, {}, QSizeF());
    m_canvas->installEventFilter(this);
    m_video->installEventFilter(this);
    m_video->playerView()->installEventFilter(this);
    m_stack->addWidget(m_canvas);
    connect(m_canvas, &WidgetCanvasPreview::canvasChanged, this, &PreviewAreaView::refresh);

    const auto refreshOnChange = [this](auto *sender, auto signal) { connect(sender, signal, this, &PreviewAreaView::refresh); };
    refreshOnChange(&models.clock, &PlaybackClock::playheadTimeChanged);
    refreshOnChange(&models.playerService, &VideoPlayerService::isLoadedChanged);
    refreshOnChange(&models.gpxService, &GPXService::tracksChanged);
    refreshOnChange(&models.engine, &TimelineEngine::segmentsChanged);
    refreshOnChange(&models.engine, &TimelineEngine::canvasOriginChanged);
    refreshOnChange(&models.mapSettings, &MapSettings::changed);
    refreshOnChange(&models.gpsPathSettings, &GPSPathWidgetSettings::changed);
    refreshOnChange(&models.speedSettings, &SpeedWidgetSettings::changed);
    refreshOnChange(&models.timeSettings, &TimeWidgetSettings::changed);
    refreshOnChange(&models.heartRateSettings, &HeartRateWidgetSettings::changed);
    refreshOnChange(&models.heartRateGraphSettings, &HeartRateGraphWidgetSettings::changed);
    refreshOnChange(&state, &WindowState::widgetPositionsChanged);
    refreshOnChange(&state, &WindowState::widgetLayoutSizeChanged);
    refreshOnChange(&state, &WindowState::mapProviderChanged);
    refreshOnChange(&state, &WindowState::mapboxTokenChanged);
    refreshOnChange(&state, &WindowState::appLanguageChanged);
    refreshOnChange(&state, &WindowState::compositionModeChanged);

    // A widget selection and a segment selection never stand together.
    const auto segmentSelected = [this] {
        if (m_models.engine.hasSelection())
            selectWidget(std::nullopt);
    };
    connect(&models.engine, &TimelineEngine::selectedIdChanged, this, segmentSelected);
    connect(&models.engine, &TimelineEngine::selectedVideoIdChanged, this, segmentSelected);
    // Hiding a widget from the inspector leaves it selected: turned on again, it has its outline back.

    retranslate();
    refresh();
}

PreviewAreaView::~PreviewAreaView() = default;

void PreviewAreaView::retranslate()
{
    m_importButton->setText(tr("Import Files to Get Started"));
    m_importButton->setAccessibleName(m_importButton->text());
    setAccessibleName(tr("Preview"));
    setAccessibleDescription(tr("The video with the overlay widgets at the playhead. Click a widget to select it, "
                                "drag it to move it, press Delete to hide it."));
    const std::array names{tr("Map"), tr("GPS path"), tr("Speed"), tr("Time"), tr("Heart rate"),
                           tr("Heart rate graph")};
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (QWidget *view = m_slots[i].view) {
            view->setAccessibleName(names[i]);
            view->setAccessibleDescription(tr("Overlay widget; drag to move it."));
        }
    }
}

void PreviewAreaView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

bool PreviewAreaView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
        selectWidget(std::nullopt);  // only the canvas and the video are watched
    return QWidget::eventFilter(watched, event);
}

QSizeF PreviewAreaView::canvasSize() const
{
    return referenceCanvasSize(m_models.engine.canvasOrigin().value_or(VideoTimelineSnapshot::defaultCanvasSize),
                               m_state.widgetLayoutSize());
}

bool PreviewAreaView::showsEmptyState() const
{
    return m_state.compositionMode() == CompositionMode::regular && !m_models.playerService.isLoaded()
        && m_models.gpxService.tracks().isEmpty();
}

void PreviewAreaView::selectWidget(std::optional<PreviewWidgetID> id)
{
    if (id) {
        m_models.engine.setSelectedId({});
        m_models.engine.setSelectedVideoId({});
    }
    if (m_selected == id)
        return;
    m_selected = id;
    refresh();
    emit selectedWidgetChanged();
}

bool PreviewAreaView::enabledFlag(PreviewWidgetID id) const
{
    switch (id) {
    case ID::map: return m_models.mapSettings.enabled();
    case ID::gpsPath: return m_models.gpsPathSettings.enabled();
    case ID::speed: return m_models.speedSettings.enabled();
    case ID::time: return m_models.timeSettings.enabled();
    case ID::heartRate: return m_models.heartRateSettings.enabled();
    case ID::heartRateGraph: return m_models.heartRateGraphSettings.enabled();
    }
    return false;
}

void PreviewAreaView::setEnabledFlag(PreviewWidgetID id, bool value)
{
    switch (id) {
    case ID::map: m_models.mapSettings.setEnabled(value); break;
    case ID::gpsPath: m_models.gpsPathSettings.setEnabled(value); break;
    case ID::speed: m_models.speedSettings.setEnabled(value); break;
    case ID::time: m_models.timeSettings.setEnabled(value); break;
    case ID::heartRate: m_models.heartRateSettings.setEnabled(value); break;
    case ID::heartRateGraph: m_models.heartRateGraphSettings.setEnabled(value); break;
    }
}

void PreviewAreaView::deleteSelectedWidget()
{
    if (!m_selected)
        return;
    const ID id = *m_selected;
    if (!enabledFlag(id)) {
        selectWidget(std::nullopt);  // a step that changes nothing would only confuse Undo
        return;
    }
    // The settings objects live as long as the window, like the engine's undo stack.
    m_models.engine.registerUndoableBoolChange(
        false, QStringLiteral("Delete"), [this, id] { return enabledFlag(id); },
        [this, id](const bool &value) { setEnabledFlag(id, value); });
    selectWidget(std::nullopt);
}

bool PreviewAreaView::slotPresent(PreviewWidgetID id) const
{
    if (m_models.gpxService.tracks().isEmpty() || !enabledFlag(id))
        return false;
    return id != ID::map || m_state.mapReady();
}

std::optional<QPointF> PreviewAreaView::widgetCenter(PreviewWidgetID id) const
{
    return m_slots[std::size_t(id)].centre;
}

QWidget *PreviewAreaView::widgetView(PreviewWidgetID id) const
{
    const Slot &slot = m_slots[std::size_t(id)];
    return slot.centre ? slot.view.data() : nullptr;
}

WidgetSelectionOutline *PreviewAreaView::selectionOutline() const
{
    return m_selected ? m_slots[std::size_t(*m_selected)].outline : nullptr;
}

void PreviewAreaView::ensureView(PreviewWidgetID id)
{
    Slot &slot = m_slots[std::size_t(id)];
    if (id == ID::map) {
        ensureMapView();
    } else if (!slot.view) {
        switch (id) {
        case ID::gpsPath: slot.view = new GPSPathOverlayView; break;
        case ID::speed: slot.view = new SpeedOverlayView; break;
        case ID::time: slot.view = new TimeOverlayView; break;
        case ID::heartRate: slot.view = new HeartRateOverlayView; break;
        case ID::heartRateGraph: slot.view = new HeartRateGraphOverlayView; break;
        case ID::map: break;
        }
        if (auto *overlay = qobject_cast<OverlayView *>(slot.view.data()))
            overlay->setShadow(true);
        m_canvas->placeView(slot.view, {});  // on the canvas before the stacking below
    }
    if (!slot.drag) {
        slot.drag = new WidgetCanvasDrag(m_canvas, slot.view, {}, {});
        connect(slot.drag, &WidgetCanvasDrag::positionChanged, this,
                [this, id](const QPointF &p) { m_state.setPosition(id, p); });
        connect(slot.drag, &WidgetCanvasDrag::tapped, this, [this, id] { selectWidget(id); });
        retranslate();
    }
    if (!slot.outline) {
        slot.outline = new WidgetSelectionOutline;
        if (id == ID::map || id == ID::gpsPath) {
            slot.border = new WidgetBorderOverlay;
            slot.badge = new WidgetCompassBadgeView;
            for (QWidget *w : {static_cast<QWidget *>(slot.border), static_cast<QWidget *>(slot.badge)}) {
                w->setAttribute(Qt::WA_TransparentForMouseEvents);
                m_canvas->placeView(w, {});
            }
        }
        m_canvas->placeView(slot.outline, {});
        // Stack the widgets in their drawing order, each with its decorations above it.
        for (ID lower : drawingOrder) {
            const Slot &s = m_slots[std::size_t(lower)];
            for (QWidget *w : {s.view.data(), static_cast<QWidget *>(s.border), static_cast<QWidget *>(s.badge),
                               static_cast<QWidget *>(s.outline)}) {
                if (w)
                    w->raise();
            }
        }
    }
}

void PreviewAreaView::ensureMapView()
{
    Slot &slot = m_slots[std::size_t(ID::map)];
    // A new provider or token needs a new page.
    const QString identity = enumText(m_state.mapProvider()) + QLatin1Char('_')
        + m_state.mapboxToken();
    if (slot.view && identity == m_mapIdentity)
        return;
    delete slot.drag;
    slot.drag = nullptr;
    delete slot.view;
    MapOverlayState initial;
    initial.mapProvider = m_state.mapProvider();
    initial.mapboxToken = m_state.mapboxToken();
    slot.view = new MapOverlayView(initial);
    m_mapIdentity = identity;
    m_canvas->placeView(slot.view, {}, QSizeF());
    if (slot.border)
        slot.view->stackUnder(slot.border);
}

void PreviewAreaView::hideSlot(PreviewWidgetID id)
{
    Slot &slot = m_slots[std::size_t(id)];
    slot.centre.reset();
    if (id == ID::map && slot.view) {
        // The map's web page goes with its widget.
        delete slot.drag;
        slot.drag = nullptr;
        delete slot.view;
        m_mapIdentity.clear();
    }
    for (QWidget *w : {slot.view.data(), static_cast<QWidget *>(slot.outline), static_cast<QWidget *>(slot.border),
                       static_cast<QWidget *>(slot.badge)}) {
        if (w)
            w->hide();
    }
}

void PreviewAreaView::place(PreviewWidgetID id, QSizeF box, QSizeF halfBox, QPointF defaultCentre)
{
    Slot &slot = m_slots[std::size_t(id)];
    const QSizeF canvas = canvasSize();
    slot.drag->setDefaultPosition(defaultCentre);
    slot.drag->setHalfSize(halfBox);
    slot.drag->setPosition(m_state.position(id));
    // Only drawn there: the stored place stays as stored.
    const QPointF centre = clampedWidgetCenter(m_state.position(id).value_or(defaultCentre), canvas, halfBox);
    slot.centre = centre;
    const bool overlay = qobject_cast<OverlayView *>(slot.view.data()) != nullptr;
    m_canvas->placeView(slot.view, centre, overlay ? std::nullopt : std::optional(box));
    for (QWidget *w : {static_cast<QWidget *>(slot.border), static_cast<QWidget *>(slot.badge)}) {
        if (w)
            m_canvas->placeView(w, centre);
    }
    slot.outline->setWidgetSize(box);
    m_canvas->placeView(slot.outline, centre);
    slot.outline->setVisible(m_selected == id);
}

void PreviewAreaView::refreshValues()
{
    m_values = playheadValues(m_models.engine, m_models.gpxService.tracks(), m_models.clock.playheadTime());
}

void PreviewAreaView::refresh()
{
    if (m_refreshing)
        return;  // the canvas reports the layout this pass makes
    const QScopedValueRollback guard(m_refreshing, true);
    const bool empty = showsEmptyState();
    m_stack->setCurrentWidget(empty ? m_emptyState : static_cast<QWidget *>(m_canvas));
    const QSizeF canvas = canvasSize();
    if (m_canvas->referenceSize() != canvas)
        m_canvas->setReferenceSize(canvas);
    m_video->setMode(m_state.compositionMode());
    m_canvas->placeView(m_video, QPointF(canvas.width() / 2, canvas.height() / 2), canvas);
    refreshValues();

    const double W = canvas.width();
    const double H = canvas.height();
    const double scale = m_canvas->canvasScale();
    const QList<GPXTrack> &tracks = m_models.gpxService.tracks();
    const std::optional<TimelineEngine::Heading> &heading = m_values.heading;
    const double lat = heading ? heading->lat : 0;
    const double lng = heading ? heading->lng : 0;
    const double rotation = m_values.mapRotation(m_models.mapSettings.orientation() == MapOrientation::follow);

    for (ID id : drawingOrder) {
        if (empty || !slotPresent(id)) {
            hideSlot(id);
            continue;
        }
        ensureView(id);
        Slot &slot = m_slots[std::size_t(id)];
        switch (id) {
        case ID::map: {
            const MapSettings &map = m_models.mapSettings;
            const double w = map.width();
            const double e = map.effectiveHeight();
            const double b = borderAllowance(map.borderStyle());
            auto *view = static_cast<MapOverlayView *>(slot.view.data());
            MapOverlayState s;
            s.trackData = m_models.gpxService.mapTrackData();
            s.currentIndex = m_values.position ? m_values.flattenedIndex : 0;
            s.currentLat = s.mapCenterLat = lat;
            s.currentLng = s.mapCenterLng = lng;
            s.mapProvider = m_state.mapProvider();
            s.mapboxToken = m_state.mapboxToken();
            s.bearing = rotation;
            s.zoomLevel = map.zoomLevel();
            s.appLanguage = m_state.appLanguage();
            view->setState(s);
            view->setCanvasScale(scale);
            view->setAppearance(map.opacity(), map.shape(), map.cornerRadius());
            const std::optional<double> corner =
                map.shape() == MapShape::circle ? std::nullopt : std::optional(map.cornerRadius());
            slot.border->setLayers(borderLayers(map.borderStyle()));
            slot.border->setCornerRadius(corner);
            slot.border->setWidgetSize({w, e});
            slot.border->setOpacity(map.opacity());
            slot.badge->setVisible(map.borderStyle() == MapBorderStyle::gta);
            slot.badge->setTotalWidth(borderTotalWidth(map.borderStyle()));
            slot.badge->setAngle(map.orientation() == MapOrientation::follow ? -rotation : 0);
            slot.badge->setWidgetSize({w, e});
            slot.badge->setOpacity(map.opacity());
            slot.outline->setCornerRadius(corner);
            slot.outline->setPadding(b + 4);
            place(id, {w, e}, {w / 2 + b, e / 2 + b}, {w / 2 + 16, e / 2 + 16});
            break;
        }
        case ID::gpsPath: {
            const GPSPathWidgetSettings &path = m_models.gpsPathSettings;
            const double side = path.width();
            const double b = borderAllowance(path.borderStyle());
            const TimelineEngine::EffectiveTrackPoints points = m_models.engine.effectiveTrackPoints(tracks);
            auto *view = static_cast<GPSPathOverlayView *>(slot.view.data());
            GPSPathOverlayState s;
            s.revision = points.revision;
            s.trackPoints = points.points;
            s.breaks = points.breaks;
            s.currentLat = lat;
            s.currentLng = lng;
            s.size = side;
            s.showMap = path.showMap();
            s.mapProvider = m_state.mapProvider();
            s.mapboxToken = m_state.mapboxToken();
            s.mapLanguage = m_state.appLanguage();
            s.padding = path.padding();
            view->setState(s);
            view->setOpacity(path.opacity());
            view->setCanvasScale(scale);
            slot.border->setLayers(borderLayers(path.borderStyle()));
            slot.border->setCornerRadius(std::nullopt);
            slot.border->setWidgetSize({side, side});
            slot.border->setOpacity(path.opacity());
            slot.badge->setVisible(path.borderStyle() == MapBorderStyle::gta);
            slot.badge->setTotalWidth(borderTotalWidth(path.borderStyle()));
            slot.badge->setAngle(0);  // the path is always drawn north up
            slot.badge->setWidgetSize({side, side});
            slot.badge->setOpacity(path.opacity());
            slot.outline->setCornerRadius(std::nullopt);
            slot.outline->setPadding(b + 4);
            place(id, {side, side}, {side / 2 + b, side / 2 + b}, {W - side / 2 - 16, H - side / 2 - 16});
            break;
        }
        case ID::speed: {
            const SpeedWidgetSettings &speed = m_models.speedSettings;
            auto *view = static_cast<SpeedOverlayView *>(slot.view.data());
            view->setUnit(speed.unit());
            view->setFontSize(speed.fontSize());
            view->setTextColor(speed.textColor());
            view->setSpeed(m_values.speed);
            view->setOpacity(speed.opacity());
            slot.outline->setCornerRadius(4);
            slot.outline->setPadding(4);
            // Text widgets keep their whole box inside the canvas, as in the export.
            place(id, view->contentSize(), view->contentSize() / 2, {80, H - 30});
            break;
        }
        case ID::time: {
            const TimeWidgetSettings &time = m_models.timeSettings;
            auto *view = static_cast<TimeOverlayView *>(slot.view.data());
            view->setFontSize(time.fontSize());
            view->setTextColor(time.textColor());
            view->setTime(m_values.time ? QDateTime::fromMSecsSinceEpoch(qint64(std::floor(*m_values.time * 1000)))
                                        : QDateTime::currentDateTime());
            view->setOpacity(time.opacity());
            slot.outline->setCornerRadius(4);
            slot.outline->setPadding(4);
            place(id, view->contentSize(), view->contentSize() / 2, {W - 80, H - 30});
            break;
        }
        case ID::heartRate: {
            const HeartRateWidgetSettings &heart = m_models.heartRateSettings;
            auto *view = static_cast<HeartRateOverlayView *>(slot.view.data());
            view->setFontSize(heart.fontSize());
            view->setTextColor(heart.textColor());
            view->setShowIcon(heart.showIcon());
            view->setShowMinMax(heart.showMinMax());
            view->setMinMax(HeartRateMinMaxReducer::minMax(m_models.engine.effectiveTracks(tracks)));
            view->setHeartRate(m_values.heartRate);
            view->setOpacity(heart.opacity());
            slot.outline->setCornerRadius(4);
            slot.outline->setPadding(4);
            place(id, view->contentSize(), view->contentSize() / 2, {80, H - 66});
            break;
        }
        case ID::heartRateGraph: {
            const HeartRateGraphWidgetSettings &graph = m_models.heartRateGraphSettings;
            const double gw = graph.width();
            const double gh = graph.height();
            auto *view = static_cast<HeartRateGraphOverlayView *>(slot.view.data());
            view->setTracks(m_models.engine.effectiveTracks(tracks));
            view->setCurrentSample(m_values.time, m_values.heartRate);
            view->setPanelSize(gw, gh);
            view->setLineColor(graph.lineColor());
            view->setOpacity(graph.opacity());
            slot.outline->setCornerRadius(6);
            slot.outline->setPadding(4);
            place(id, {gw, gh}, {gw / 2, gh / 2}, {W - gw / 2 - 16, H - gh / 2 - 200});
            break;
        }
        }
    }
}

} // namespace routereel
