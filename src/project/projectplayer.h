#pragma once

#include "timeline/videotimelinesnapshot.h"

#include <QObject>
#include <QSizeF>
#include <QUrl>

#include <optional>
#include <utility>

namespace routereel {

// What the project roads use of the window's preview player. The main window
// hands its VideoPlayerService over through an adapter; tests fake it.
class ProjectPlayer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The loaded video's file; empty when none.
    virtual QUrl videoURL() const = 0;
    virtual double playheadTime() const = 0;
    virtual bool isLoaded() const = 0;
    // The message of the last loading failure; empty when none.
    virtual QString loadingError() const = 0;
    // The loading error tells of the sound alone: the picture has loaded or still loads.
    virtual bool loadingErrorIsSoundOnly() const = 0;

    virtual void reset() = 0;
    virtual void loadTimeline(const VideoTimelineSnapshot &snapshot) = 0;
    virtual void loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas) = 0;
    virtual void pause() = 0;
    // Clamped to the loaded duration by the player.
    virtual void seek(double seconds) = 0;
    // Moves the playhead; seeks only within the loaded duration.
    virtual void scrub(double seconds) = 0;

signals:
    void isLoadedChanged();
    void loadingErrorChanged();
};

} // namespace routereel
