#include "playbackclock.h"

namespace routereel {

PlaybackClock::PlaybackClock(QObject *parent)
    : QObject(parent)
{
}

void PlaybackClock::setCurrentTime(double seconds)
{
    m_currentTime = seconds;
    emit currentTimeChanged(seconds);
}

void PlaybackClock::setPlayheadTime(double seconds)
{
    m_playheadTime = seconds;
    emit playheadTimeChanged(seconds);
}

} // namespace routereel
