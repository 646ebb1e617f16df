#pragma once

#include "previewplan.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace routereel {

// The media player that the player service drives. Its time is timeline time:
// item time 0 is timeline time 0. The core only knows this interface; the one
// that decodes (with libav) lives with the views, tests use a scripted one.
class PreviewPlayer : public QObject {
    Q_OBJECT

public:
    enum class ItemStatus { unknown, readyToPlay, failed };
    // Identifies an installed item; 0 is "no item".
    using ItemId = quint64;

    using QObject::QObject;

    // Installs a new item (none removes it) and returns its id. Status starts unknown.
    virtual ItemId replaceItem(std::optional<PreviewPlan> plan) = 0;
    virtual ItemId currentItem() const = 0;
    virtual ItemStatus itemStatus() const = 0;
    // Why the item failed; may be empty.
    virtual QString itemError() const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    // The player runs (rather than is paused or has nothing to run).
    virtual bool isPlaying() const = 0;
    // Seconds; not finite when there is nothing to tell.
    virtual double currentTime() const = 0;
    // Exact seek; `completion` runs later on this object's thread with whether the
    // seek finished (false when a newer seek or item superseded it).
    virtual void seek(double seconds, std::function<void(bool finished)> completion) = 0;

    // What to show: the current picture (null in a gap or before the first frame),
    // the transform from its pixels to the canvas, and the canvas size.
    virtual QImage currentFrame() const = 0;
    virtual QTransform currentFrameTransform() const = 0;
    virtual QSizeF renderSize() const = 0;
    // What a view paints: the newest picture ready without any waiting (for a moment
    // it may be the one before currentFrame), and its transform to the canvas.
    virtual QImage displayFrame() const { return currentFrame(); }
    virtual QTransform displayFrameTransform() const { return currentFrameTransform(); }
    // The largest picture, in pixels, that a view shows: pictures need be no larger.
    virtual void setDisplaySize(QSize) {}

signals:
    void itemStatusChanged(routereel::PreviewPlayer::ItemId item, routereel::PreviewPlayer::ItemStatus status);
    void playingChanged(bool playing);
    // Every 1/60 s while running, and once when the time jumps or running stops.
    void periodicTime(double seconds);
    void playedToEnd(routereel::PreviewPlayer::ItemId item);
    // Paused, the playhead went on to where the sound ended: a sound server plays
    // on what its graph already held at the Pause.
    void pausedPlayheadMoved(double seconds);
    void frameChanged();
    // A clip's sound cannot be read: it plays silent while its picture plays on. The
    // reason, in the interface language.
    void soundFailed(const QString &message);
    // A stretch of a clip cannot be read: the picture goes on after it while the
    // playhead runs on. The reason, in the interface language.
    void readFailed(const QString &message);
};

} // namespace routereel
