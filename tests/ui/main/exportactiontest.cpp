#include "exportwindowfixture.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

using namespace exportui;

TEST(ExportAction, ReadinessFollowsTheModels)
{
    ExportWindow w;
    QSignalSpy changes(&w.action, &ExportAction::canExportChanged);
    const auto ready = [&] { return w.action.action()->isEnabled(); };
    w.addTrack(30);
    w.loadClip(60, {1920, 1080}, false);
    EXPECT_FALSE(ready());  // metadata still loading
    w.media->settle(PreviewPlayer::ItemStatus::readyToPlay);
    EXPECT_TRUE(ready());
    w.gpx.setTracks({});
    EXPECT_FALSE(ready());  // a video without a track
    w.addTrack(30);
    w.useOverlay();
    w.engine.setSegments({});
    EXPECT_FALSE(ready());  // overlay needs a GPX range, whatever the player has
    w.addTrack(20, 5);
    EXPECT_TRUE(ready());
    EXPECT_EQ(changes.count(), 5);
}

TEST(ExportAction, ExportButtonRefusesOrOpensTheSheet)
{
    const QString noWidgets =
        QStringLiteral("No widgets are enabled. Enable at least one (Map / Path / Time / Speed) before exporting.");
    struct Case {
        const char *name;
        std::function<void(ExportWindow &)> change;
        QString error = {};
        bool networkAlert = false;
        std::optional<ExportPreset> opensWith = {};  // from 2K
    };
    const QList<Case> cases{
        {"no widget", [](ExportWindow &w) { w.time.setEnabled(false); }, noWidgets},
        {"map offline", [](ExportWindow &w) { w.map.setEnabled(true); w.online = false; }, {}, true},
        {"path over a map offline", [](ExportWindow &w) { w.gpsPath.setEnabled(true); w.gpsPath.setShowMap(true);
                                                          w.online = false; }, {}, true},
        {"path alone offline", [](ExportWindow &w) { w.time.setEnabled(false); w.gpsPath.setEnabled(true);
                                                     w.online = false; }, {}, false, ExportPreset::original},
        {"overlay", [](ExportWindow &w) { w.useOverlay(); }, {}, false, ExportPreset::p1080},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExportWindow w;
        w.addTrack(30);
        w.loadClip(60, {3840, 2160});
        w.state.setSelectedPreset(ExportPreset::p2K);
        c.change(w);
        w.action.action()->trigger();
        EXPECT_EQ(w.errors, c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_EQ(w.state.showNetworkAlert(), c.networkAlert);
        EXPECT_EQ(w.state.showExportSheet(), c.opensWith.has_value());
        EXPECT_EQ(w.state.selectedPreset(), c.opensWith.value_or(ExportPreset::p2K));
    }
}

TEST(ExportAction, StartChecksThenAsksForTheFileAndQueues)
{
    struct Case {
        const char *name;
        std::function<void(ExportWindow &)> change;
        QString error;           // shown instead of the save dialog
        QString nameEnd = {};    // of the proposed file
        double outputScale = 1;
    };
    // The order of the checks is the builder's; here their message replaces the dialog.
    const QList<Case> cases{
        {"no tracks, no video", [](ExportWindow &w) { w.gpx.setTracks({}); w.player.reset(); },
         QStringLiteral("Import GPX before exporting.")},
        {"original", [](ExportWindow &) {}, {}, QStringLiteral("_4k.mp4")},
        {"1080p", [](ExportWindow &w) { w.state.setSelectedPreset(ExportPreset::p1080); }, {},
         QStringLiteral("_1080p.mp4"), 0.5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ExportWindow w(1.4);
        w.addTrack(30);
        w.loadClip(60, {3840, 2160});
        c.change(w);
        w.startExport();
        EXPECT_EQ(w.errors, c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_EQ(w.proposed.size(), c.error.isEmpty() ? 1 : 0);
        ASSERT_EQ(w.queued().has_value(), c.error.isEmpty());
        if (!w.queued())
            continue;
        EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d-\\d{6}" + c.nameEnd + '$').match(w.proposed[0]).hasMatch())
            << qPrintable(w.proposed[0]);
        EXPECT_DOUBLE_EQ(w.queued()->outputScale, c.outputScale);
        EXPECT_EQ(w.queued()->compressionFactor, 1.0);
        EXPECT_EQ(w.queued()->outputURL, w.answer);
    }

    ExportWindow cancelled;
    cancelled.addTrack(30);
    cancelled.loadClip(60, {1920, 1080});
    cancelled.answer.clear();
    cancelled.startExport();
    EXPECT_EQ(cancelled.proposed.size(), 1);
    EXPECT_TRUE(cancelled.errors.isEmpty());
    EXPECT_FALSE(cancelled.queue.isBusy());
}

TEST(ExportAction, WhatChangesDuringTheSaveDialogIsCheckedAndExported)
{
    ExportWindow w;
    w.addTrack(30);
    w.loadClip(60, {1920, 1080});
    w.duringDialog = [&] { w.engine.clear(); w.player.reset(); };
    w.startExport();
    EXPECT_FALSE(w.queue.isBusy());
    EXPECT_EQ(w.errors, QStringList{"Cannot export: no video has been loaded."});  // the user chose a file: not silent

    w.loadClip(60, {1920, 1080});
    // The dialog's own event loop outlasts the time the clips may take to answer.
    w.action.setSourceCheckLimit(300);
    w.duringDialog = [&] {
        testsupport::waitFor([] { return false; }, 1000);
        w.state.setPosition(WidgetKind::time, QPointF(100, 100));
        w.addTrack(10, 40);
    };
    w.startExport();
    EXPECT_TRUE(w.errors.size() == 1 && w.proposed.size() == 2) << "one dialog, one export";
    ASSERT_TRUE(w.queued());
    EXPECT_EQ(w.queued()->tracks.size(), 2);
    EXPECT_EQ(w.queued()->segments, w.engine.segments());
    EXPECT_EQ(std::pair(w.queued()->timeWidget.x, w.queued()->timeWidget.y), std::pair(200, 200));
}

TEST(ExportAction, SaveDialogProposesTheNameAndWritesMpeg4)
{
    QTemporaryDir dir;
    QStringList proposed, filters;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        proposed = dialog->selectedFiles();
        filters = dialog->nameFilters();
        dialog->setDirectory(dir.path());
        dialog->selectFile(QStringLiteral("ride"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const QUrl chosen = ExportAction::runSaveDialog(nullptr, QStringLiteral("2024-05-01-142233_1080p.mp4"));
    ASSERT_EQ(proposed.size(), 1);
    EXPECT_TRUE(proposed[0].endsWith(QStringLiteral("/2024-05-01-142233_1080p.mp4"))) << qPrintable(proposed[0]);
    ASSERT_EQ(filters.size(), 1);
    EXPECT_TRUE(filters[0].contains(QStringLiteral("*.mp4"))) << qPrintable(filters[0]);
    EXPECT_EQ(chosen, QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride.mp4"))));
}

TEST(ExportAction, TypedNamesEndInMp4)
{
    QTemporaryDir dir;
    QFile existing(dir.filePath(QStringLiteral("old.mov.mp4")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    struct Case {
        QString typed;
        QString saved;
        bool asksToReplace = false;
    };
    for (const Case &c : {Case{"ride.mov", "ride.mov.mp4"}, Case{"RIDE.MP4", "RIDE.MP4"}, Case{"ride", "ride.mp4"},
                          Case{"old.mov", "old.mov.mp4", true}}) {
        SCOPED_TRACE(qPrintable(c.typed));
        bool asked = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            dialog->setDirectory(dir.path());
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            ASSERT_TRUE(name);
            name->clear();
            QTest::keyClicks(name, c.typed);
            // The replace question, when there is one, runs its own loop: answer it from there.
            QTimer::singleShot(200, dialog, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    asked = true;
                    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
                }
            });
            QTest::keyClick(name, Qt::Key_Return);
        });
        const QUrl chosen = ExportAction::runSaveDialog(nullptr, QStringLiteral("2024-05-01-142233_1080p.mp4"));
        EXPECT_EQ(chosen, QUrl::fromLocalFile(dir.filePath(c.saved)));
        EXPECT_EQ(asked, c.asksToReplace);
    }
}
