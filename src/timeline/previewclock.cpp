#include "previewclock.h"

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// Further behind than this, the sound is what is out of step (a device that started
// late, came back, or fell behind): it goes on from the clock's time. A sound ahead
// has been heard: moved back, it would be heard twice, so the clock catches up.
constexpr double farOffSeconds = 0.2;
// Heard again after none, a sound further off than this is waited for rather than leant to.
constexpr double inStepSeconds = 0.04;
// Nearer, the clock runs up to this much faster or slower until it is in step: the
// eye sees no jump, and a 40 ms difference is gone within a second.
constexpr double mostLean = 0.05;
// Further apart than this (a drop-out, a graph that took a longer cycle), the clock
// slows to a fifth for a sound behind it and catches up with one ahead: leant to, the
// picture would stay apart from it for seconds.
constexpr double apartSeconds = 0.03;
constexpr double slowest = 0.2;
// A sound behind for longer is one that stands (a device taking no samples), not a
// drop-out: the clock leans again, and a sound that ends up far off is moved.
constexpr qint64 longestWaitMs = 300;
constexpr double leanPerSecondOff = 2.0;
// Just after the first sound is heard, the device's reports of it still settle by
// tens of milliseconds: the clock keeps to them, standing rather than stepping back,
// and running at most twice as fast rather than leaping ahead to them (a report
// that jumps would show as skipped pictures).
constexpr qint64 settleMs = 1000;
constexpr double mostCatchUp = 1.0;
constexpr double catchUpSeconds = 0.05; // this far behind, the clock runs at its fastest
// The first sound is told a few milliseconds late, as a device's reports come: the
// clock steps to it; told later (a busy server), it steps this far and catches up.
constexpr double mostStep = 0.025;

} // namespace

void PreviewClock::setSound(SoundTime heard, SoundMove moveTo, SoundWait startWait)
{
    m_heard = std::move(heard);
    m_moveTo = std::move(moveTo);
    m_startWait = std::move(startWait);
}

void PreviewClock::start(double t)
{
    m_running = true;
    waitFrom(t);
}

// The sound starts from `t` now: the clock stands there until it is heard.
void PreviewClock::waitFrom(double t)
{
    m_hearing = false;
    m_sinceHeard.invalidate();
    m_behindSince.invalidate();
    m_sinceStart.start();
    m_startTime = t;
    anchor(t, 1);
    m_waitSeconds = m_startWait ? std::max(0.0, m_startWait()) : 0;
}

void PreviewClock::stop(double t)
{
    m_running = false;
    m_waitSeconds = 0;
    anchor(t, 1);
}

double PreviewClock::now() const
{
    if (!m_running)
        return m_anchor;
    if (m_waitSeconds > 0) {
        // The first sound may be heard between two looks: told as the next look takes it.
        const std::optional<double> heard = m_heard ? m_heard() : std::nullopt;
        return heard ? firstStep(*heard) : m_anchor;
    }
    // The rate holds until the clock has come to the sound; then the wall clock alone,
    // so that a window thread held between looks neither stands nor races on meanwhile.
    const double elapsed = double(m_wall.nsecsElapsed()) / 1e9;
    const double leaning = std::min(elapsed, m_leanSeconds);
    const double t = m_anchor + m_rate * leaning + (elapsed - leaning);
    return isSettling() ? std::min(t, mostPlayed()) : t;
}

// No sound has played longer than since the start: a settling device that says so
// is ahead of itself.
double PreviewClock::mostPlayed() const
{
    return m_startTime + double(m_sinceStart.nsecsElapsed()) / 1e9;
}

double PreviewClock::firstStep(double heard) const
{
    return std::clamp(heard, m_anchor, std::max(m_anchor, std::min(mostPlayed(), m_anchor + mostStep)));
}

bool PreviewClock::isSettling() const
{
    return m_sinceHeard.isValid() && m_sinceHeard.elapsed() < settleMs;
}

// A device's output lies its latency ahead of what is heard: started on the wall
// clock, the picture would run that far ahead of the sound until the lean caught up.
void PreviewClock::waitForSound()
{
    if (const std::optional<double> heard = m_heard ? m_heard() : std::nullopt) {
        m_waitSeconds = 0;
        m_hearing = true;
        m_sinceHeard.start();
        anchor(firstStep(*heard), 1);
        return;
    }
    if (double(m_wall.nsecsElapsed()) / 1e9 >= m_waitSeconds) {
        m_waitSeconds = 0; // a device that stays silent: the wall clock, as without one
        anchor(m_anchor, 1);
    }
}

void PreviewClock::follow()
{
    if (!m_running)
        return;
    if (m_waitSeconds > 0) {
        waitForSound();
        return;
    }
    const double t = now();
    const std::optional<double> heard = m_heard ? m_heard() : std::nullopt;
    if (!heard) {
        anchor(t, 1); // no sound, or a device that takes none: the wall clock alone
        m_hearing = false;
        return;
    }
    const double off = *heard - t;
    // A sound heard again after none (a device that came back or took none for a
    // while) that is behind: waiting for it costs less than leaning for seconds.
    const bool outOfStepAgain = !m_hearing && m_startWait && off < -inStepSeconds;
    m_hearing = true;
    if (off < -farOffSeconds || outOfStepAgain) {
        moveSoundHere(t);
        return;
    }
    if (off >= -apartSeconds)
        m_behindSince.invalidate();
    else if (!m_behindSince.isValid())
        m_behindSince.start();
    const bool waits = m_behindSince.isValid() && m_behindSince.elapsed() < longestWaitMs;
    const double catchUp = 1 + std::min(mostCatchUp, mostCatchUp * off / catchUpSeconds);
    const double rate = isSettling() ? (off < 0 ? 0 : catchUp)
        : waits                      ? slowest
        : off > apartSeconds         ? catchUp
                                     : 1 + std::clamp(off * leanPerSecondOff, -mostLean, mostLean);
    anchor(t, rate, rate == 1 ? 0 : off / (rate - 1));
}

void PreviewClock::soundResumed()
{
    if (m_running)
        moveSoundHere(now());
}

// Moved, the sound takes the output's latency to be heard again, as at a start.
void PreviewClock::moveSoundHere(double t)
{
    if (m_moveTo)
        m_moveTo(t);
    waitFrom(t);
}

void PreviewClock::anchor(double t, double rate, double seconds)
{
    m_anchor = t;
    m_rate = rate;
    m_leanSeconds = seconds;
    m_wall.start();
}

} // namespace routereel
