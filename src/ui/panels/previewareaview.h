#pragma once

#include "timeline/playheadvalues.h"
#include "ui/state/windowstate.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QPushButton;
class QStackedLayout;

namespace routereel {

class CompositionPreviewView;
class GPSPathOverlayView;
class GPSPathWidgetSettings;
class GPXService;
class HeartRateGraphOverlayView;
class HeartRateGraphWidgetSettings;
class HeartRateOverlayView;
class HeartRateWidgetSettings;
class MapOverlayView;
class MapSettings;
class PlaybackClock;
class SpeedOverlayView;
class SpeedWidgetSettings;
class TimeOverlayView;
class TimeWidgetSettings;
class TimelineEngine;
class VideoPlayerService;
class WidgetBorderOverlay;
class WidgetCanvasDrag;
class WidgetCanvasPreview;
class WidgetCompassBadgeView;
class WidgetSelectionOutline;

// The centre pane: the timeline's video (or the overlay background) with the
// enabled widgets over it at the playhead, all on the reference canvas scaled
// into the pane. A click selects a widget and clears the timeline's
// selection, a click on the canvas deselects, a drag moves the widget (no
// undo step), deleteSelectedWidget() hides it as one "Delete" step. With
// nothing to show in mode "Regular" it invites the user to import files.
class PreviewAreaView : public QWidget {
    Q_OBJECT

public:
    using PreviewWidgetID = WidgetKind;

    struct Models {
        VideoPlayerService &playerService;
        PlaybackClock &clock;
        GPXService &gpxService;
        TimelineEngine &engine;
        MapSettings &mapSettings;
        TimeWidgetSettings &timeSettings;
        SpeedWidgetSettings &speedSettings;
        GPSPathWidgetSettings &gpsPathSettings;
        HeartRateWidgetSettings &heartRateSettings;
        HeartRateGraphWidgetSettings &heartRateGraphSettings;
    };

    PreviewAreaView(const Models &models, WindowState &state, std::function<void()> onImportFiles,
                    QWidget *parent = nullptr);
    ~PreviewAreaView() override;

    std::optional<PreviewWidgetID> selectedWidget() const { return m_selected; }
    // Selecting a widget also clears the timeline's segment selection.
    void selectWidget(std::optional<PreviewWidgetID> id);
    // Hides the selected widget as one undoable "Delete" step; nothing without a
    // selection, and no step when the widget is hidden already.
    void deleteSelectedWidget();

    bool showsEmptyState() const;
    // The reference canvas: the timeline's canvas (1920 x 1080 without one)
    // scaled to the window's layout size.
    QSizeF canvasSize() const;
    // The values at the playhead, as the widgets show them.
    const PlayheadValues &values() const { return m_values; }
    // Where a widget is drawn (its centre, in canvas units); none while it is not shown.
    std::optional<QPointF> widgetCenter(PreviewWidgetID id) const;
    // The widget's own view (the one that takes its clicks); none while it is not shown.
    QWidget *widgetView(PreviewWidgetID id) const;
    WidgetCanvasPreview *canvas() const { return m_canvas; }
    QPushButton *importButton() const { return m_importButton; }
    WidgetSelectionOutline *selectionOutline() const;

signals:
    void selectedWidgetChanged();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Slot {
        QPointer<QWidget> view;
        WidgetCanvasDrag *drag = nullptr;
        WidgetSelectionOutline *outline = nullptr;
        WidgetBorderOverlay *border = nullptr;
        WidgetCompassBadgeView *badge = nullptr;
        std::optional<QPointF> centre;
    };

    void retranslate();
    void refresh();
    void refreshValues();
    bool slotPresent(PreviewWidgetID id) const;
    // Content view of `id` with its drag and outline; the map's is rebuilt on a new provider or token.
    void ensureView(PreviewWidgetID id);
    void ensureMapView();
    void place(PreviewWidgetID id, QSizeF box, QSizeF halfBox, QPointF defaultCentre);
    void hideSlot(PreviewWidgetID id);
    bool enabledFlag(PreviewWidgetID id) const;
    void setEnabledFlag(PreviewWidgetID id, bool value);

    Models m_models;
    WindowState &m_state;
    std::function<void()> m_onImportFiles;

    QStackedLayout *m_stack = nullptr;
    QWidget *m_emptyState = nullptr;
    QPushButton *m_importButton = nullptr;
    WidgetCanvasPreview *m_canvas = nullptr;
    CompositionPreviewView *m_video = nullptr;
    std::array<Slot, 6> m_slots;
    QString m_mapIdentity;

    std::optional<PreviewWidgetID> m_selected;
    bool m_refreshing = false;
    PlayheadValues m_values;
};

} // namespace routereel
