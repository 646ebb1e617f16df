#pragma once

#include <QObject>

namespace routereel {

// The one place that holds the position on the timeline: where the player has
// actually got to (currentTime) and where the user's playhead is (playheadTime).
// Observers hear of every assignment, even of an unchanged value, so that a
// binding re-reads the time after each tick.
class PlaybackClock : public QObject {
    Q_OBJECT
    Q_PROPERTY(double currentTime READ currentTime WRITE setCurrentTime NOTIFY currentTimeChanged)
    Q_PROPERTY(double playheadTime READ playheadTime WRITE setPlayheadTime NOTIFY playheadTimeChanged)

public:
    explicit PlaybackClock(QObject *parent = nullptr);

    double currentTime() const { return m_currentTime; }
    double playheadTime() const { return m_playheadTime; }

    void setCurrentTime(double seconds);
    void setPlayheadTime(double seconds);

signals:
    void currentTimeChanged(double seconds);
    void playheadTimeChanged(double seconds);

private:
    double m_currentTime = 0;
    double m_playheadTime = 0;
};

} // namespace routereel
