// The export queue over a real exporter, with fake ffmpeg scripts standing in
// for long or quick encodes.
#include "exporttestutil.h"

#include "export/exportqueue.h"
#include "export/videoexporter.h"
#include "tracks/logstore.h"

#include <QScopeGuard>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

using namespace routereel;
using namespace exporttest;

namespace {

struct QueueSetup {
    explicit QueueSetup(const QString &runBody = QStringLiteral("exec sleep 600"))
    {
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = runBody;
        useFakeFfmpeg(*queue.exporter(), QDir(dir.path()).filePath(QStringLiteral("ffmpeg")), spec);
        queue.exporter()->setNotifier(notifier);
        queue.setLog(log);
    }
    ExportTask task(const QString &name, double seconds = 30)
    {
        return overlayTask(QDir(dir.path()).filePath(name), seconds);
    }
    qsizetype logged(const QString &title) const
    {
        return log->titles().count(title);
    }

    QTemporaryDir dir;
    std::shared_ptr<RecordingNotifier> notifier = std::make_shared<RecordingNotifier>();
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    ExportQueue queue;
};

} // namespace

TEST(ExportQueue, HistoryKeepsTheNewestHundred)
{
    QueueSetup setup;
    QList<QUuid> ids;
    for (int i = 0; i < 101; ++i) {
        ExportTask task = setup.task(QStringLiteral("out%1.mp4").arg(i));
        task.segments.clear();  // nothing to export: fails at once, without ffmpeg
        ids << task.id;
        setup.queue.enqueue(task);
    }
    EXPECT_TRUE(setup.queue.current().has_value());
    EXPECT_EQ(setup.queue.pending().size(), 100);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }));

    const QList<ExportTaskRuntime> &history = setup.queue.history();
    ASSERT_EQ(history.size(), 100);
    EXPECT_EQ(history.first().task.id, ids.last());
    EXPECT_EQ(history.last().task.id, ids.at(1));
    EXPECT_EQ(history.first().status, ExportTaskStatus::failed(QStringLiteral("Failed to render overlay frames")));
    ASSERT_TRUE(history.first().startedAt && history.first().finishedAt);

    EXPECT_EQ(setup.logged(QStringLiteral("Export Queued")), 101);
    EXPECT_EQ(setup.logged(QStringLiteral("Export Start")), 101);
    EXPECT_EQ(setup.logged(QStringLiteral("Export Failed")), 101);
    const RecordingLog::Entry &failed = setup.log->entries.last();
    EXPECT_EQ(failed.level, ExportLog::Level::error);
    EXPECT_TRUE(failed.detail.startsWith(QStringLiteral("out100.mp4\nElapsed: 0:00\n")));
    EXPECT_TRUE(failed.detail.endsWith(QStringLiteral("\nFailed to render overlay frames")));
    // Each task starts right after the previous one's result has been logged.
    EXPECT_EQ(setup.log->entries.at(1).title, QStringLiteral("Export Start"));
    EXPECT_EQ(setup.log->titles().lastIndexOf(QStringLiteral("Export Start")) + 1,
              setup.log->titles().lastIndexOf(QStringLiteral("Export Failed")));

    ASSERT_EQ(setup.notifier->count(), 101);
    EXPECT_EQ(setup.notifier->posts.last().title, QStringLiteral("routereel"));
    EXPECT_EQ(setup.notifier->posts.last().body, QStringLiteral("Export Failed: out100.mp4"));
}

// The log's texts are data, the same in every interface language; only the
// task's title ("Overlay") and the notification are looked up.
TEST(ExportQueue, LogTextsAreNotTranslated)
{
    testsupport::MarkingTranslator translator;
    QueueSetup setup;
    const ExportTask running = setup.task(QStringLiteral("a.mp4"));
    const ExportTask waiting = setup.task(QStringLiteral("b.mp4"));
    ExportTask failing = setup.task(QStringLiteral("c.mp4"));
    failing.segments.clear();  // fails at once
    for (const ExportTask &t : {running, waiting, failing})
        setup.queue.enqueue(t);
    setup.queue.cancel(waiting.id);
    setup.queue.cancel(running.id);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }, 30'000));

    const QString a = running.outputURL.toLocalFile();
    const QString c = failing.outputURL.toLocalFile();
    const QList<std::pair<QString, QString>> expected{
        {"Export Queued", "Source: <zh>Overlay\nOutput: " + a},
        {"Export Start", "Source: <zh>Overlay\nOutput: a.mp4"},
        {"Export Queued", "Source: <zh>Overlay\nOutput: " + waiting.outputURL.toLocalFile()},
        {"Export Queued", "Source: <zh>Overlay\nOutput: " + c},
        {"Export Cancelled", "Removed from queue: b.mp4"},
        {"Export Cancelled", "a.mp4\nElapsed: "},
        {"Export Start", "Source: <zh>Overlay\nOutput: c.mp4"},
        {"Export Failed", "c.mp4\nElapsed: "},
    };
    ASSERT_EQ(setup.log->entries.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(setup.log->entries[i].title, expected[i].first) << i;
        const QString &detail = setup.log->entries[i].detail;
        EXPECT_TRUE(detail.startsWith(expected[i].second)) << detail.toStdString();
    }
    ASSERT_EQ(setup.notifier->count(), 1);
    EXPECT_EQ(setup.notifier->posts.first().body, QStringLiteral("<zh>Export Failed: c.mp4"));
}

TEST(ExportQueue, CancelsWaitingAndRunningTasks)
{
    QueueSetup setup;
    const ExportTask t1 = setup.task(QStringLiteral("t1.mp4"));
    const ExportTask t2 = setup.task(QStringLiteral("t2.mp4"));
    const ExportTask t3 = setup.task(QStringLiteral("t3.mp4"));
    const ExportTask t4 = setup.task(QStringLiteral("t4.mp4"));
    for (const ExportTask &t : {t1, t2, t3, t4})
        setup.queue.enqueue(t);
    ASSERT_TRUE(setup.queue.current());
    EXPECT_EQ(setup.queue.current()->task.id, t1.id);
    EXPECT_EQ(setup.queue.current()->status, ExportTaskStatus::running());
    EXPECT_EQ(setup.queue.pending().first().status, ExportTaskStatus::pending());

    int ticks = 0;
    QObject::connect(&setup.queue, &ExportQueue::tickChanged, [&] { ++ticks; });
    ASSERT_TRUE(waitFor([&] { return ticks > 0; }, 10'000));

    setup.queue.cancel(t3.id);
    ASSERT_EQ(setup.queue.pending().size(), 2);
    EXPECT_EQ(setup.queue.pending().at(0).task.id, t2.id);
    EXPECT_EQ(setup.queue.pending().at(1).task.id, t4.id);
    ASSERT_EQ(setup.queue.history().size(), 1);
    EXPECT_EQ(setup.queue.history().first().status, ExportTaskStatus::cancelled());
    EXPECT_FALSE(setup.queue.history().first().startedAt.has_value());
    EXPECT_EQ(setup.log->entries.last().detail, QStringLiteral("Removed from queue: t3.mp4"));

    const qsizetype entries = setup.log->entries.size();
    setup.queue.cancel(QUuid::createUuid());
    EXPECT_EQ(setup.log->entries.size(), entries);
    EXPECT_EQ(setup.queue.pending().size(), 2);

    // The running task stays current until its run has stopped.
    setup.queue.cancel(t1.id);
    EXPECT_EQ(setup.log->entries.size(), entries);
    EXPECT_TRUE(setup.queue.current());
    ASSERT_TRUE(waitFor([&] { return setup.queue.history().size() == 2; }, 30'000));
    const ExportTaskRuntime &cancelled = setup.queue.history().first();
    EXPECT_EQ(cancelled.task.id, t1.id);
    EXPECT_EQ(cancelled.status, ExportTaskStatus::cancelled());
    EXPECT_EQ(setup.log->entries.at(entries).title, QStringLiteral("Export Cancelled"));
    EXPECT_TRUE(setup.log->entries.at(entries).detail.startsWith(QStringLiteral("t1.mp4\nElapsed: 0:0")));
    EXPECT_EQ(setup.log->entries.at(entries + 1).title, QStringLiteral("Export Start"));
    ASSERT_TRUE(setup.queue.current());
    EXPECT_EQ(setup.queue.current()->task.id, t2.id);
    EXPECT_EQ(setup.notifier->count(), 0);

    // Quitting: the running task's end calls the closure and starts nothing more.
    int terminations = 0;
    setup.queue.setTerminationCompletion([&] { ++terminations; });
    setup.queue.cancel(t2.id);
    ASSERT_TRUE(waitFor([&] { return terminations == 1; }, 30'000));
    EXPECT_FALSE(setup.queue.hasTerminationCompletion());
    EXPECT_FALSE(setup.queue.current());
    ASSERT_EQ(setup.queue.pending().size(), 1);
    EXPECT_EQ(setup.queue.pending().first().task.id, t4.id);
    EXPECT_EQ(setup.queue.pending().first().status, ExportTaskStatus::pending());
    EXPECT_EQ(setup.notifier->count(), 0);

    // Clearing the history leaves the waiting task alone and announces only a real change.
    int historyChanges = 0;
    QObject::connect(&setup.queue, &ExportQueue::historyChanged, [&] { ++historyChanges; });
    ASSERT_EQ(setup.queue.history().size(), 3);
    setup.queue.clearHistory();
    setup.queue.clearHistory();
    EXPECT_TRUE(setup.queue.history().isEmpty());
    EXPECT_EQ(historyChanges, 1);
    ASSERT_EQ(setup.queue.pending().size(), 1);
    EXPECT_EQ(setup.queue.pending().first().task.id, t4.id);

    // The closure ran once: the next task's end is handled as usual.
    setup.queue.startNextIfIdle();
    ASSERT_TRUE(setup.queue.current());
    setup.queue.cancel(t4.id);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.current(); }, 30'000));
    EXPECT_EQ(setup.queue.history().first().task.id, t4.id);
    EXPECT_EQ(terminations, 1);
}

TEST(ExportQueue, WritesToTheWindowsLogStoreWhileItExists)
{
    QueueSetup setup;
    auto store = std::make_unique<LogStore>();
    setup.queue.setLogStore(store.get());
    ExportTask task = setup.task(QStringLiteral("a.mp4"));
    task.segments.clear();
    setup.queue.enqueue(task);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }));
    ASSERT_EQ(store->entries().size(), 3);
    EXPECT_EQ(store->entries().first().title, QStringLiteral("Export Failed"));
    EXPECT_EQ(store->entries().first().level, LogEntry::Level::error);
    EXPECT_EQ(store->entries().last().title, QStringLiteral("Export Queued"));
    EXPECT_EQ(store->entries().last().level, LogEntry::Level::info);

    store.reset();
    task.id = QUuid::createUuid();
    setup.queue.enqueue(task);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }));
    EXPECT_EQ(setup.queue.history().size(), 2);
}

TEST(ExportQueue, SuccessIsLoggedAndAnnouncedByTheExporter)
{
    // Takes every frame and writes the output file ("file:" and its path), as ffmpeg would.
    QueueSetup setup(QStringLiteral("cat > /dev/null; for last; do :; done; echo video > \"${last#file:}\"; exit 0"));
    const ExportTask task = setup.task(QStringLiteral("done.mp4"), 1);
    QList<double> progress;
    QObject::connect(&setup.queue, &ExportQueue::currentChanged, [&] {
        if (setup.queue.current())
            progress << setup.queue.current()->progress;
    });
    setup.queue.enqueue(task);
    ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }));

    ASSERT_EQ(setup.queue.history().size(), 1);
    const ExportTaskRuntime &done = setup.queue.history().first();
    EXPECT_EQ(done.status, ExportTaskStatus::completed());
    EXPECT_EQ(done.progress, 1.0);
    EXPECT_TRUE(progress.contains(0.05));
    EXPECT_EQ(setup.log->titles(),
              (QStringList{QStringLiteral("Export Queued"), QStringLiteral("Export Start"),
                           QStringLiteral("Export Complete")}));
    const RecordingLog::Entry &complete = setup.log->entries.last();
    EXPECT_EQ(complete.level, ExportLog::Level::info);
    EXPECT_EQ(complete.detail, QStringLiteral("Output: ") + task.outputURL.toLocalFile()
                                   + QStringLiteral("\nSource: Overlay\nElapsed: 0:00"));
    EXPECT_EQ(setup.log->entries.first().detail,
              QStringLiteral("Source: Overlay\nOutput: ") + task.outputURL.toLocalFile());
    EXPECT_EQ(setup.log->entries.at(1).detail, QStringLiteral("Source: Overlay\nOutput: done.mp4"));
    ASSERT_EQ(setup.notifier->count(), 1);
    EXPECT_EQ(setup.notifier->posts.first().body, QStringLiteral("Export Complete!"));
}

// A failed ffmpeg is reported, in the log and the history, by its last ten lines as it wrote them.
TEST(ExportQueue, FailureShowsFfmpegsLastTenLines)
{
    // libx264's options banner first, then fourteen more lines.
    QString fifteen = QStringLiteral("[libx264 @ 0x1] 264 - core 164 - options: ") + QString(900, u'x') + u'\n';
    QString lastNine;
    for (int i = 2; i <= 15; ++i) {
        const QString line = QStringLiteral("line %1\n").arg(i);
        fifteen += line;
        if (i >= 7)
            lastNine += line;
    }
    const QString fullDisk = QString::fromUtf8(readAll(QStringLiteral(ROUTEREEL_TEST_DATA "/ffmpeg/full-disk.stderr")));
    ASSERT_TRUE(fullDisk.contains(QStringLiteral("No space left on device")));
    const QList<std::pair<QString, QString>> cases{{fifteen, lastNine}, {fullDisk, fullDisk}};
    for (const auto &[said, shown] : cases) {
        QTemporaryDir texts;
        const QString file = texts.filePath(QStringLiteral("stderr.txt"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(said.toUtf8());
        out.close();
        QueueSetup setup(QStringLiteral("cat > /dev/null; cat %1 >&2; exit 1").arg(testsupport::shellQuote(file)));
        setup.queue.enqueue(setup.task(QStringLiteral("out.mp4"), 2));
        ASSERT_TRUE(waitFor([&] { return !setup.queue.isBusy(); }));

        const QString message = QStringLiteral("FFmpeg: ") + shown;
        EXPECT_EQ(setup.queue.history().first().status.message().toStdString(), message.toStdString());
        const RecordingLog::Entry &failed = setup.log->entries.last();
        EXPECT_EQ(failed.title, QStringLiteral("Export Failed"));
        EXPECT_TRUE(failed.detail.endsWith(QStringLiteral("\n") + message)) << failed.detail.toStdString();
    }
}

// A real full disk, where this process may mount a small one.
TEST(ExportQueue, FullDiskIsReportedAsSuch)
{
    QTemporaryDir dir;
    const QByteArray disk = dir.filePath(QStringLiteral("disk")).toLocal8Bit();
    ASSERT_TRUE(QDir().mkpath(QString::fromLocal8Bit(disk)));
    if (::geteuid() != 0 || ::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here; FailureShowsFfmpegsLastTenLines covers what ffmpeg says";
    const auto unmount = qScopeGuard([&] { ::umount2(disk.constData(), MNT_DETACH); });

    testsupport::ClipSpec spec;
    spec.seconds = 3;
    spec.color = QColor();  // a pattern, which does not compress to nothing
    const VideoSource clip = sourceFor(testsupport::makeClip(dir.path(), QStringLiteral("pattern.mp4"), spec));
    ExportTask task = regularTask(QString::fromLocal8Bit(disk) + QStringLiteral("/out.mp4"), {clip},
                                  {cut(clip, 0, clip.duration, 0)});
    const GPXTrack track = makeTrack(3);
    task.tracks = {track};
    task.segments = {wholeTrack(track)};
    task.timeWidget = textWidget(160, 120);
    ExportQueue queue;
    LogStore store;
    queue.setLogStore(&store);
    queue.enqueue(task);
    ASSERT_TRUE(waitFor([&] { return !queue.isBusy(); }));

    const ExportTaskStatus status = queue.history().first().status;
    RecordProperty("message", status.message().toStdString());
    EXPECT_EQ(status.kind(), ExportTaskStatus::Kind::failed);
    // What the history row shows first: the reason, not an encoder's banner or statistics.
    const QString first = status.message().section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(first.startsWith(QStringLiteral("FFmpeg: "))) << status.message().toStdString();
    EXPECT_TRUE(first.endsWith(QStringLiteral("No space left on device"))) << status.message().toStdString();
    ASSERT_FALSE(store.entries().isEmpty());
    EXPECT_EQ(store.entries().first().title, QStringLiteral("Export Failed"));
    EXPECT_TRUE(store.entries().first().detail.contains(QStringLiteral("No space left on device")));
}
