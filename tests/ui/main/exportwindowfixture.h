#pragma once

// The window's models, real and empty, with the export front end over them: a
// scripted media backend under the real player service, a queue whose ffmpeg
// never finishes, the network, the error alert and the save dialog as test values.
#include "ui/main/exportaction.h"
#include "ui/state/windowstate.h"

#include "export/exportqueue.h"
#include "export/ffmpegruntime.h"
#include "export/videoexporter.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/fakeffmpeg.h"
#include "support/timelinefixtures.h"
#include "support/waitfor.h"
#include "timeline/playerscriptedplayer.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace exportui {

using namespace routereel;

struct ExportWindow {
    // Only the time widget is enabled: it needs no network.
    explicit ExportWindow(std::optional<double> storedFactor = std::nullopt) : storedFactor(storedFactor)
    {
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = QStringLiteral("exec sleep 600");
        FFmpegSearch search;
        search.bundled = {dir.filePath(QStringLiteral("ffmpeg"))};
        EXPECT_TRUE(testsupport::writeFakeFfmpeg(search.bundled.first(), spec));
        queue.exporter()->setFFmpegSearch(search);
        for (auto *settings : std::initializer_list<QObject *>{&map, &gpsPath, &speed, &heartRate, &graph})
            settings->setProperty("enabled", false);
        time.setEnabled(true);
        action.setSaveDialog([this](QWidget *, const QString &name) {
            proposed << name;
            if (duringDialog)
                duringDialog();
            return answer;
        });
    }

    // A track of `seconds` placed whole at `offset` on the timeline.
    void addTrack(double seconds, double offset = 0)
    {
        GPXTrack track;
        track.duration = seconds;
        gpx.addTrack(track);
        engine.setSegments(engine.segments() << testsupport::segmentOf(track, 0, seconds, offset));
    }
    // One whole clip on the timeline: an empty file, the scripted player reads nothing.
    void loadClip(double seconds, QSizeF size, bool ready = true)
    {
        VideoSource source = testsupport::source(seconds, size.width(), size.height(), true,
                                                 dir.filePath(QStringLiteral("clip.mp4")));
        source.fps = 25;
        QFile(source.url.toLocalFile()).open(QIODevice::WriteOnly);
        engine.importVideo(source);
        useRegular(ready);
    }
    // What the window does on a mode change: the player loads the video lane, or runs over the GPX range.
    void useRegular(bool ready = true)
    {
        state.setCompositionMode(CompositionMode::regular);
        const int before = media->replaceCount;
        player.loadTimeline(engine.videoSnapshot());
        ASSERT_TRUE(testsupport::waitFor([&] { return media->replaceCount > before; }));
        if (ready)
            media->settle(PreviewPlayer::ItemStatus::readyToPlay);
    }
    void useOverlay()
    {
        state.setCompositionMode(CompositionMode::overlay);
        const auto range = engine.gpxTimeRange();
        player.loadOverlayOnly(range ? std::optional(std::pair(range->lower, range->upper)) : std::nullopt, {});
    }
    // The clips are looked for off the window's thread: an export started is
    // judged once they have answered and it was queued or refused.
    void startExport()
    {
        action.startExport();
        settle();
    }
    void settle() const { EXPECT_TRUE(testsupport::waitFor([&] { return !action.isCheckingSources(); })); }
    std::optional<ExportTask> queued() const
    {
        return queue.current() ? std::optional(queue.current()->task) : std::nullopt;
    }

    QTemporaryDir dir;
    std::optional<double> storedFactor;
    bool settingsCleared = [this] {
        QSettings().clear();
        if (storedFactor)
            QSettings().setValue(QStringLiteral("exportCompressionFactor"), *storedFactor);
        return true;
    }();
    GPXService gpx;
    TimelineEngine engine;
    ScriptedPlayer *media = new ScriptedPlayer;
    VideoPlayerService player{media};
    ExportQueue queue;
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings gpsPath;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings graph;
    WindowState state;
    bool online = true;
    QStringList errors;
    QStringList proposed;
    QUrl answer = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out.mp4")));
    std::function<void()> duringDialog;
    QWidget window;
    ExportAction action{{{gpx, engine, map, time, speed, gpsPath, heartRate, graph}, player, queue}, state,
                        [this] { return online; }, [this](const QString &message) { errors << message; }, &window};
};

} // namespace exportui
