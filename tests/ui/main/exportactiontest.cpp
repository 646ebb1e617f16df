#include "exportwindowfixture.h"

#include <QAction>
#include <QSignalSpy>

using namespace exportui;

TEST(ExportAction, ReadinessFollowsTheModels)
{
    ExportWindow w;
    QSignalSpy changes(&w.action, &ExportAction::canExportChanged);
    const auto ready = [&] {
        EXPECT_EQ(w.action.action()->isEnabled(), w.action.canExport());
        return w.action.canExport();
    };
    w.addTrack(30);
    w.loadClip(60, {1920, 1080}, false);
    EXPECT_FALSE(ready());  // metadata still loading
    w.media->settle(PreviewPlayer::ItemStatus::readyToPlay);
    EXPECT_TRUE(ready());
    w.gpx.setTracks({});
    EXPECT_FALSE(ready());  // a video but no track
    w.addTrack(30);
    EXPECT_TRUE(ready());
    w.useOverlay();
    w.engine.setSegments({});
    EXPECT_FALSE(ready());  // overlay needs a GPX range, whatever the player
    w.addTrack(20, 5);
    EXPECT_TRUE(ready());
    EXPECT_EQ(changes.count(), 5);  // each flip told once
}

TEST(ExportAction, ExportButtonRefusesOrOpensTheSheet)
{
    struct Case {
        const char *name;
        std::function<void(ExportWindow &)> change;
        ExportPreset selectedBefore;
        QString error;
        bool networkAlert;
        std::optional<ExportPreset> opensWith;
    };
    const QString noWidgets =
        QStringLiteral("No widgets are enabled. Enable at least one (Map / Path / Time / Speed) before exporting.");
    const QList<Case> cases{
        {"no widget", [](ExportWindow &w) { w.time.setEnabled(false); }, ExportPreset::p720, noWidgets, false, {}},
        {"map offline", [](ExportWindow &w) { w.map.setEnabled(true); w.online = false; }, ExportPreset::p720, {},
         true, {}},
        {"path over a map offline",
         [](ExportWindow &w) { w.gpsPath.setEnabled(true); w.gpsPath.setShowMap(true); w.online = false; },
         ExportPreset::p720, {}, true, {}},
        {"path alone offline",
         [](ExportWindow &w) { w.time.setEnabled(false); w.gpsPath.setEnabled(true); w.online = false; },
         ExportPreset::p720, {}, false, ExportPreset::original},
        {"overlay keeps 720p", [](ExportWindow &w) { w.useOverlay(); }, ExportPreset::p720, {}, false,
         ExportPreset::p720},
        {"overlay turns 2K into 1080p", [](ExportWindow &w) { w.useOverlay(); }, ExportPreset::p2K, {}, false,
         ExportPreset::p1080},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExportWindow w;
        w.addTrack(30);
        w.loadClip(60, {3840, 2160});
        w.state.setSelectedPreset(c.selectedBefore);
        c.change(w);
        w.action.action()->trigger();
        EXPECT_EQ(w.errors, c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_EQ(w.state.showNetworkAlert(), c.networkAlert);
        EXPECT_EQ(w.state.showExportSheet(), c.opensWith.has_value());
        EXPECT_EQ(w.state.selectedPreset(), c.opensWith.value_or(c.selectedBefore));
    }
}

TEST(ExportAction, StartChecksInOrderThenAsksForTheFileAndQueues)
{
    struct Case {
        const char *name;
        std::function<void(ExportWindow &)> change;
        QString error;          // shown instead of the save dialog
        QString nameEnd = {};  // of the proposed file
        double outputScale = 1;
    };
    const QList<Case> cases{
        {"no tracks", [](ExportWindow &w) { w.gpx.setTracks({}); }, QStringLiteral("Import GPX before exporting.")},
        {"no video either",
         [](ExportWindow &w) { w.gpx.setTracks({}); w.player.reset(); }, QStringLiteral("Import GPX before exporting.")},
        {"gpx 0.05 s past the video", [](ExportWindow &w) { w.addTrack(10, 50.05); }, {}, QStringLiteral("_4k.mp4"), 1},
        {"gpx 0.2 s past the video", [](ExportWindow &w) { w.addTrack(10, 50.2); },
         QStringLiteral("GPX track extends beyond video (1:00 > 1:00). Trim or remove excess segments before exporting.")},
        {"1080p", [](ExportWindow &w) { w.state.setSelectedPreset(ExportPreset::p1080); }, {},
         QStringLiteral("_1080p.mp4"), 0.5},
        {"overlay", [](ExportWindow &w) { w.useOverlay(); w.state.setSelectedPreset(ExportPreset::p2K); }, {},
         QStringLiteral("_1080p.mp4"), 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExportWindow w(1.4);
        w.addTrack(30);
        w.loadClip(60, {3840, 2160});
        c.change(w);
        w.action.startExport();
        EXPECT_EQ(w.errors, c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_EQ(w.proposed.size(), c.error.isEmpty() ? 1 : 0);
        EXPECT_EQ(w.queued().has_value(), c.error.isEmpty());
        if (!c.error.isEmpty() || w.proposed.isEmpty() || !w.queued())
            continue;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d-\\d{6}") + c.nameEnd + '$')
                        .match(w.proposed.first()).hasMatch()) << qPrintable(w.proposed.first());
        EXPECT_DOUBLE_EQ(w.queued()->outputScale, c.outputScale);
        EXPECT_EQ(w.queued()->compressionFactor, 1.0);
        EXPECT_EQ(w.queued()->outputURL, w.answer);
    }

    ExportWindow cancelled;
    cancelled.addTrack(30);
    cancelled.loadClip(60, {1920, 1080});
    cancelled.answer.clear();
    cancelled.action.startExport();
    EXPECT_EQ(cancelled.proposed.size(), 1);
    EXPECT_TRUE(cancelled.errors.isEmpty());
    EXPECT_FALSE(cancelled.queue.isBusy());
}

TEST(ExportAction, WhatChangesDuringTheSaveDialogIsCheckedAndExported)
{
    ExportWindow cleared;
    cleared.addTrack(30);
    cleared.loadClip(60, {1920, 1080});
    cleared.duringDialog = [&] { cleared.engine.clear(); cleared.player.reset(); };
    cleared.action.startExport();
    EXPECT_FALSE(cleared.queue.isBusy());
    ASSERT_EQ(cleared.errors.size(), 1);  // not silent: the user chose a file
    EXPECT_EQ(cleared.errors.first(), QStringLiteral("Cannot export: no video has been loaded."));

    ExportWindow moved;
    moved.addTrack(30);
    moved.loadClip(60, {1920, 1080});
    moved.duringDialog = [&] {
        moved.state.setPosition(WidgetKind::time, QPointF(100, 100));
        moved.addTrack(10, 40);
    };
    moved.action.startExport();
    ASSERT_TRUE(moved.queued());
    EXPECT_EQ(moved.queued()->segments.size(), 2);
    EXPECT_EQ(std::pair(moved.queued()->timeWidget.x, moved.queued()->timeWidget.y), std::pair(200, 200));
}
