// Exports started as the user starts them (a window's models, its task
// builder, the queue, the exporter, the system's ffmpeg) at destinations that
// must not be replaced, and in a process that is killed while it exports.
#include "../../bench/headlessproject.h"
#include "exporttestutil.h"
#include "support/childprocesses.h"

#include "export/exportqueue.h"
#include "export/exportshutdown.h"
#include "export/exportstagingrecord.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace routereel;
using routereel::bench::HeadlessProjectWindow;

namespace {

const QString sourcesMessage = QStringLiteral("Choose an export location different from your source files.");

// Staging folders anywhere under `root`.
QStringList stagingFolders(const QString &root)
{
    QStringList found;
    QDirIterator it(root, {QStringLiteral(".routereel-export-*")}, QDir::Dirs | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

// A 6 s clip and the 5.5 s test ride, imported into a window as the user imports them.
struct Session {
    QTemporaryDir dir;
    QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), {6.0, 160, 120, 30, false});
    QString track = dir.filePath(QStringLiteral("ride.gpx"));
    HeadlessProjectWindow window;

    explicit Session(CompositionMode mode)
    {
        QFile::copy(QStringLiteral(ROUTEREEL_TEST_DATA "/tracks/ride.gpx"), track);
        window.mode = mode;
        window.preset = mode == CompositionMode::overlay ? ExportPreset::p720 : ExportPreset::original;
        window.time.setEnabled(false);
        window.heartRate.setEnabled(false);
        window.map.setEnabled(false);
        window.gpsPath.setEnabled(false);
        window.heartRateGraph.setEnabled(false);
        window.speed.setEnabled(true);
        window.engineObject.importVideo(VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid()));
        const auto loaded = window.gpx.importTrack(QUrl::fromLocalFile(track));
        EXPECT_TRUE(loaded.ok());
        if (loaded.ok())
            window.engineObject.importGPX(loaded.value());
        EXPECT_TRUE(window.settle(60'000));
    }

    // The export to `output` through the queue: its status message, empty on success.
    std::optional<QString> exportTo(const QString &output)
    {
        auto built = window.taskBuilder().build(QUrl::fromLocalFile(output));
        if (const auto *error = std::get_if<ExportStartError>(&built))
            return error->message();
        ExportQueue queue;
        queue.enqueue(std::get<ExportTask>(built));
        EXPECT_TRUE(exporttest::waitFor([&] { return !queue.isBusy(); }));
        const ExportTaskRuntime &done = queue.history().first();
        if (done.status.kind() == ExportTaskStatus::Kind::completed)
            return std::nullopt;
        return done.status.message();
    }
};

} // namespace

TEST(ExportSafety, SourcesSurviveInBothModesHoweverTheDestinationIsSpelled)
{
    for (const CompositionMode mode : {CompositionMode::overlay, CompositionMode::regular}) {
        Session session(mode);
        const QByteArray clip = exporttest::readAll(session.clip);
        const QByteArray track = exporttest::readAll(session.track);
        const QString symbolic = session.dir.filePath(QStringLiteral("symbolic.mp4"));
        ASSERT_TRUE(QFile::link(session.clip, symbolic));
        const QString hard = session.dir.filePath(QStringLiteral("hard.mp4"));
        ASSERT_EQ(::link(QFile::encodeName(session.clip).constData(), QFile::encodeName(hard).constData()), 0);
        for (const QString &destination : {session.clip, symbolic, hard, session.track}) {
            SCOPED_TRACE(destination.toStdString() + (mode == CompositionMode::overlay ? " overlay" : " regular"));
            EXPECT_EQ(session.exportTo(destination), sourcesMessage);
        }
        EXPECT_EQ(exporttest::readAll(session.clip), clip);
        EXPECT_EQ(exporttest::readAll(session.track), track);
        EXPECT_TRUE(stagingFolders(session.dir.path()).isEmpty());
    }
}

TEST(ExportSafety, OnlyARegularFileIsReplacedAndALinkToOneStays)
{
    Session session(CompositionMode::overlay);
    const QString fifo = session.dir.filePath(QStringLiteral("pipe.mp4"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString toFifo = session.dir.filePath(QStringLiteral("to-pipe.mp4"));
    ASSERT_TRUE(QFile::link(fifo, toFifo));
    for (const QString &destination : {fifo, toFifo}) {
        const std::optional<QString> message = session.exportTo(destination);
        ASSERT_TRUE(message);
        EXPECT_TRUE(message->contains(QStringLiteral("it is not a regular file"))) << message->toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(destination).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    EXPECT_TRUE(QFileInfo(toFifo).isSymLink());

    QDir(session.dir.path()).mkdir(QStringLiteral("videos"));
    const QString file = session.dir.filePath(QStringLiteral("videos/old.mp4"));
    ASSERT_TRUE(QFile::copy(session.clip, file));
    const QString link = session.dir.filePath(QStringLiteral("latest.mp4"));
    ASSERT_TRUE(QFile::link(QStringLiteral("videos/old.mp4"), link));
    EXPECT_EQ(session.exportTo(link), std::nullopt);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(exporttest::probeStream(file, QStringLiteral("v:0")).value(QStringLiteral("height")), "720");
    EXPECT_TRUE(stagingFolders(session.dir.path()).isEmpty());
}

namespace {

// The process whose export the test ends: this test program, running the helper test below.
constexpr const char *childDirVariable = "ROUTEREEL_EXPORT_CHILD_DIR";

QProcess *startChild(const QString &dir, const QString &mode)
{
    auto *child = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childDirVariable), dir);
    environment.insert(QStringLiteral("ROUTEREEL_EXPORT_CHILD_MODE"), mode);
    child->setProcessEnvironment(environment);
    child->setProcessChannelMode(QProcess::ForwardedChannels);
    child->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=ExportSafetyChild.DISABLED_ExportsUntilEnded"),
                  QStringLiteral("--gtest_also_run_disabled_tests")});
    return child;
}

// Gone, or a zombie nobody reaps: either way no longer running.
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

TEST(ExportSafety, AnEndedProcessLeavesNoFfmpegAndNoStagingFolder)
{
    for (const int sig : {SIGTERM, SIGINT, SIGKILL}) {
        SCOPED_TRACE(sig);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("out")));
        std::unique_ptr<QProcess> child(startChild(dir.path(), QStringLiteral("export")));
        ASSERT_TRUE(child->waitForStarted());
        QList<qint64> ffmpeg;
        ASSERT_TRUE(exporttest::waitFor(
            [&] {
                ffmpeg = testsupport::ffmpegChildren(child->processId());
                const QStringList staging = stagingFolders(dir.path());
                return !ffmpeg.isEmpty() && staging.size() == 1 && QFileInfo::exists(staging.first() + "/video.mp4");
            },
            120'000));
        ::kill(pid_t(child->processId()), sig);
        ASSERT_TRUE(child->waitForFinished(30'000));
        EXPECT_EQ(child->exitStatus(), QProcess::CrashExit);
        EXPECT_TRUE(exporttest::waitFor([&] { return !isRunning(ffmpeg.first()); }, 10'000));
        // A signal the process can handle ends the export the normal way.
        if (sig != SIGKILL)
            EXPECT_TRUE(stagingFolders(dir.path()).isEmpty());

        // The next start sweeps what a killed process left.
        std::unique_ptr<QProcess> again(startChild(dir.path(), QStringLiteral("start")));
        ASSERT_TRUE(again->waitForFinished(60'000));
        EXPECT_EQ(again->exitCode(), 0);
        EXPECT_TRUE(stagingFolders(dir.path()).isEmpty());
        EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("data/routereel/export-staging"))).isEmpty());
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out/ride.mp4"))));
    }
}

// Run only by the test above, in a process of its own: starts as the app does,
// then exports a ten-minute overlay until the process is ended.
TEST(ExportSafetyChild, DISABLED_ExportsUntilEnded)
{
    const QString dir = qEnvironmentVariable(childDirVariable);
    ASSERT_FALSE(dir.isEmpty());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir + QStringLiteral("/data")));
    ExportShutdown::prepareProcess();
    if (qEnvironmentVariable("ROUTEREEL_EXPORT_CHILD_MODE") == QStringLiteral("start"))
        return;
    ExportQueue queue;
    queue.enqueue(exporttest::overlayTask(dir + QStringLiteral("/out/ride.mp4"), 600));
    testsupport::waitFor([] { return false; }, -1, 50);
}
