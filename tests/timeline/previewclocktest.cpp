#include "timeline/previewclock.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace routereel;

// The clock runs on at once whatever the sound does: without one, with one that
// stands (a device taking no samples), and with one near or far off; it leans
// toward a sound near it, catches up with one far ahead, has one far behind go on
// from the clock's time, never steps back and never stands still.
TEST(PreviewClock, RunsOnTheWallClockAndLeansTowardTheSoundHeard)
{
    struct Case {
        const char *name;
        std::optional<double> soundOffset; // the sound's time less the wall clock's since the start
        bool soundStands;                  // the sound's time does not move
        bool moved;                        // the sound is told to go on from the clock's time
    };
    const Case cases[] = {
        {"no sound", std::nullopt, false, false},
        {"sound in step", 0.0, false, false},
        {"sound a little ahead", 0.1, false, false},
        {"sound a little behind", -0.1, false, false},
        {"sound far behind", -1.5, false, true},
        {"sound far ahead: heard, so never moved back", 0.4, false, false},
        {"sound standing", 0.0, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer wall;
        wall.start();
        std::optional<double> movedTo;
        PreviewClock clock;
        clock.setSound(
            [&]() -> std::optional<double> {
                if (!c.soundOffset)
                    return std::nullopt;
                return 10 + *c.soundOffset + (c.soundStands ? 0 : double(wall.nsecsElapsed()) / 1e9);
            },
            [&](double t) { movedTo = t; });
        clock.start(10);
        double last = clock.now();
        // As many looks as 0.6 s holds, however late a busy machine lets them come.
        for (int look = 0; look < 36 || wall.elapsed() < 600; ++look) {
            QThread::msleep(16);
            clock.follow();
            const double t = clock.now();
            ASSERT_GT(t, last); // never back, never standing
            last = t;
        }
        EXPECT_EQ(movedTo.has_value(), c.moved);
        if (movedTo) // from where the clock was, not from the sound's time
            EXPECT_GT(*movedTo, 10.1);
        if (c.soundOffset && !c.moved) {
            // Nearer the sound than the wall clock is, and no jump to it. The wall is read
            // on both sides of the clock: a thread held in between widens the window.
            const double wallBefore = 10 + double(wall.nsecsElapsed()) / 1e9;
            const double t = clock.now();
            const double wallAfter = 10 + double(wall.nsecsElapsed()) / 1e9;
            const auto distance = [t](double lo, double hi) { return t < lo ? lo - t : t > hi ? t - hi : 0.0; };
            const double offset = *c.soundOffset;
            if (offset != 0)
                EXPECT_LT(distance(wallBefore + offset, wallAfter + offset), std::abs(offset));
            EXPECT_LT(distance(wallBefore, wallAfter), std::abs(offset) + 0.02);
        }
        clock.stop(3);
        EXPECT_EQ(clock.now(), 3);
        EXPECT_FALSE(clock.isRunning());
    }
}

// Started with a sound device, the clock stands at its start until the first sound
// is heard, then runs from the sound's time; a device that stays silent holds it no
// longer than its wait; without a device it runs at once.
TEST(PreviewClock, WaitsAtItsStartForTheFirstSoundHeard)
{
    struct Case {
        const char *name;
        double wait;                   // what the device says a start may take; 0: no device
        std::optional<double> heardAt; // wall seconds after the start when the first sound is heard
    };
    const Case cases[] = {
        {"no device", 0, std::nullopt},
        {"heard after 0.3 s", 1.5, 0.3},
        {"never heard", 0.4, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer wall;
        const auto sound = [&]() -> std::optional<double> {
            const double w = double(wall.nsecsElapsed()) / 1e9;
            if (!c.heardAt || w < *c.heardAt)
                return std::nullopt;
            return 10 + w - *c.heardAt;
        };
        PreviewClock clock;
        clock.setSound(sound, [](double) {}, [&] { return c.wait; });
        wall.start();
        clock.start(10);
        bool moved = false;
        std::optional<double> firstHeard; // wall seconds of the first look that heard the sound
        while (wall.elapsed() < 700) {
            QThread::msleep(5);
            const bool heardBefore = sound().has_value();
            clock.follow();
            // The sound read on both sides of the clock: a thread held in between
            // widens the window instead of failing.
            const std::optional<double> justBefore = sound();
            const double t = clock.now();
            const std::optional<double> heard = sound();
            const double w = double(wall.nsecsElapsed()) / 1e9;
            if (heardBefore) {
                // A look a busy machine let come late finds the sound told late: the
                // clock steps a little and catches up at up to twice the speed.
                if (!firstHeard)
                    firstHeard = w;
                const double catchingUp = std::max(0.0, *firstHeard - *c.heardAt - 0.025 - (w - *firstHeard));
                ASSERT_GT(t, *justBefore - 0.02 - catchingUp) << "at " << w << " s";
                ASSERT_LT(t, *heard + 0.02) << "at " << w << " s";
            } else if (!heard && w < c.wait)
                ASSERT_EQ(t, 10) << "at " << w << " s: running before the sound is heard";
            moved = moved || t > 10;
        }
        EXPECT_TRUE(moved);
    }
}

// A device whose report runs ahead of what can have been heard (more than since the
// start), tells of the first sound late, or stands and then jumps on while it
// settles: the clock never runs ahead of the wall clock from its start, catches up
// rather than leaps, and still comes to the sound. Between two looks it tells the time
// the next look takes, and a window thread held between them finds it with the sound,
// neither stood still nor raced past it.
TEST(PreviewClock, NeitherRunsAheadOfItsStartNorLeapsToAJumpingSound)
{
    struct Case {
        const char *name;
        double early;    // what the device says was heard beyond the wall clock since the first sound
        double toldFrom; // wall seconds when the device first tells of the sound, which began at 0.1 s
        double standsFrom; // the report stands from here until `standsUntil`, then goes on `jump` further
        double standsUntil;
        double jump;
        double heldFrom; // the looks stop here for 0.2 s
    };
    const Case cases[] = {
        {"heard more than played", 0.15, 0.1, 1, 1, 0, 1},
        {"first sound told late", 0, 0.24, 1, 1, 0, 1},
        {"report stands, then jumps", 0, 0.1, 0.35, 0.4, 0.1, 1},
        {"held while catching up", 0, 0.24, 1, 1, 0, 0.26},
        {"held while standing", 0, 0.1, 0.3, 0.32, -0.02, 0.31},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer wall;
        constexpr double began = 0.1;
        const auto sound = [&]() -> std::optional<double> {
            const double w = double(wall.nsecsElapsed()) / 1e9;
            if (w < c.toldFrom)
                return std::nullopt;
            if (w >= c.standsFrom && w < c.standsUntil)
                return 10 + c.standsFrom - began;
            return 10 + w - began + c.early + (w >= c.standsUntil ? c.jump : 0);
        };
        PreviewClock clock;
        clock.setSound(sound, [](double) {}, [] { return 1.5; });
        wall.start();
        clock.start(10);
        double last = clock.now();
        double lastWall = 0;
        bool held = false;
        bool heldBeforeHeard = false;
        while (true) {
            QThread::msleep(5);
            const qint64 elapsed = wall.elapsed();
            if (elapsed >= 900)
                break;
            if (!held && elapsed >= c.heldFrom * 1000) {
                held = true;
                QThread::msleep(200);
                // The sound heard is read on both sides of the clock: a thread held
                // between the reads must not count against the clock.
                const double heardBefore = *sound();
                const double t = clock.now();
                const double heardAfter = *sound();
                // Held before any look heard the sound (a busy machine delayed the looks),
                // the clock still waits for its first sound, which is another case.
                if (lastWall >= c.toldFrom) {
                    EXPECT_GT(t, heardBefore - 0.02) << "after a held thread";
                    EXPECT_LT(t, heardAfter + 0.02) << "after a held thread";
                } else {
                    heldBeforeHeard = true;
                    std::printf("%s: no look heard the sound before the hold\n", c.name);
                }
            }
            // A look takes the time the clock told just before it, whatever it learns.
            const double wallBefore = double(wall.nsecsElapsed()) / 1e9; // before the clock: a held thread widens
            const double toldBefore = clock.now();
            clock.follow();
            const double t = clock.now();
            const double w = double(wall.nsecsElapsed()) / 1e9;
            // A look a busy machine delayed past the cases' second: the device's reports
            // have settled by then, and one ahead is followed (what was heard is not repeated).
            if (w >= 1.0)
                break;
            ASSERT_LE(std::abs(t - toldBefore), 2 * (w - wallBefore) + 0.002) << "at " << w << " s: moved by a look";
            ASSERT_LE(t, 10 + w) << "at " << w << " s: ahead of the wall clock from the start";
            // From one look to the next, as a viewer sees it: at most twice as fast,
            // and once a step shorter than a frame where the first sound is heard.
            ASSERT_LE(t - last, 2 * (w - lastWall) + 0.027) << "at " << w << " s: a leap";
            last = t;
            lastWall = w;
        }
        if (c.early == 0 && !heldBeforeHeard) {
            const double heardBefore = *sound();
            const double t = clock.now();
            const double heardAfter = *sound();
            EXPECT_GT(t, heardBefore - 0.02) << "not come to the sound";
            EXPECT_LT(t, heardAfter + 0.02) << "not come to the sound";
        }
    }
}
