// A saved project opened without a screen, as the export benchmark opens it,
// and turned into the export the user would start.
#include "../../bench/headlessproject.h"

#include "projectfakes.h"
#include "export/exportqueue.h"
#include "export/exportrun.h"
#include "support/clipgenerator.h"
#include "support/loopbackhttpserver.h"
#include "support/sourcekinds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using routereel::bench::HeadlessProjectWindow;
using routereel::bench::openProjectForExport;

namespace {

constexpr int timeoutMs = 60000;

// A 3 s clip and a 2 s track laid on the timeline of a fresh window, as the
// user imports them, then saved with the app's own save.
struct SavedProject {
    QTemporaryDir dir;
    QString clip;
    QString track;
    QString path;
    QUrl output;
    std::optional<ExportTask> before;  // the export of the window that saved it

    explicit SavedProject(CompositionMode mode, const std::function<void(HeadlessProjectWindow &)> &edit = {})
    {
        QSettings().clear();
        clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {3.0, 640, 360, 25, true});
        track = projecttest::writeGPX(dir.path(), QStringLiteral("ride.gpx"), 3);
        path = dir.filePath(QStringLiteral("ride.rrl"));
        output = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out.mp4")));
        HeadlessProjectWindow window;
        window.mode = mode;
        window.engineObject.importVideo(VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid()));
        const auto loaded = window.gpx.importTrack(QUrl::fromLocalFile(track));
        EXPECT_TRUE(loaded.ok());
        if (loaded.ok())
            window.engineObject.importGPX(loaded.value());
        EXPECT_TRUE(window.settle(timeoutMs));
        if (edit)
            edit(window);
        auto built = window.taskBuilder().build(output);
        if (auto *task = std::get_if<ExportTask>(&built))
            before = *task;
        EXPECT_TRUE(window.session.saveProject(QUrl::fromLocalFile(path)));
        // What the next window knows comes from the file alone.
        QSettings().clear();
    }

    std::variant<ExportTask, QString> open() const
    {
        HeadlessProjectWindow window;
        return openProjectForExport(window, path, output, timeoutMs);
    }
    QString openError() const
    {
        const auto opened = open();
        if (const auto *message = std::get_if<QString>(&opened))
            return *message;
        ADD_FAILURE() << "the project opened";
        return {};
    }

    void editJson(const std::function<void(QJsonObject &)> &edit) const
    {
        QJsonObject root = QJsonDocument::fromJson(projecttest::readAll(path)).object();
        edit(root);
        ASSERT_TRUE(projecttest::writeFile(path, QJsonDocument(root).toJson()));
    }
};

void moveWidgets(HeadlessProjectWindow &w)
{
    w.compressionFactor = 0.7;
    w.preset = ExportPreset::p720;
    w.time.setEnabled(false);
    w.speed.setFontSize(40);
    w.speed.setUnit(SpeedUnit::ms);
    w.map.setShape(MapShape::circle);
    w.map.setWidth(150);
    w.map.setOrientation(MapOrientation::follow);
    w.gpsPath.setBorderStyle(MapBorderStyle::gta);
    w.heartRate.setShowMinMax(true);
    w.heartRateGraph.setWidth(300);
    w.positions.speed = QPointF(100, 100);
    w.positions.map = QPointF(500, 300);
    w.positions.heartRateGraph = QPointF(2000, 2000);
}

} // namespace

// Everything of the export survives save and open but the identities of the
// re-imported tracks: the reopened project exports what the saved one did.
TEST(ProjectExport, ReopenedProjectExportsWhatTheSavedOneDid)
{
    for (const CompositionMode mode : {CompositionMode::regular, CompositionMode::overlay}) {
        SCOPED_TRACE(qPrintable(enumText(mode)));
        const SavedProject saved(mode, moveWidgets);
        ASSERT_TRUE(saved.before);
        const auto opened = saved.open();
        ASSERT_TRUE(std::holds_alternative<ExportTask>(opened)) << qPrintable(std::get<QString>(opened));
        const ExportTask &task = std::get<ExportTask>(opened);
        const ExportTask &before = *saved.before;

        EXPECT_EQ(task.compositionMode, mode);
        EXPECT_EQ(task.videoURL, before.videoURL);
        EXPECT_EQ(task.videoTimeline, before.videoTimeline);
        EXPECT_EQ(task.outputURL, saved.output);
        ASSERT_EQ(task.tracks.size(), 1);
        EXPECT_EQ(task.tracks.first().fileURL, QUrl::fromLocalFile(saved.track));
        ASSERT_EQ(task.segments.size(), 1);
        EXPECT_EQ(task.segments.first().trackID, task.tracks.first().id);
        EXPECT_EQ(task.segments.first().gpxEnd, before.segments.first().gpxEnd);
        EXPECT_EQ(task.videoDuration, before.videoDuration);
        EXPECT_EQ(task.videoResolution, before.videoResolution);
        EXPECT_EQ(task.videoFPS, before.videoFPS);
        EXPECT_EQ(task.videoBitRate, before.videoBitRate);
        EXPECT_EQ(task.outputScale, before.outputScale);
        EXPECT_EQ(task.compressionFactor, 0.7);
        EXPECT_EQ(task.previewToVideoScale, before.previewToVideoScale);
        EXPECT_EQ(task.mapEnabled, before.mapEnabled);
        EXPECT_EQ(task.mapSize, before.mapSize);
        EXPECT_EQ(std::pair(task.overlayX, task.overlayY), std::pair(before.overlayX, before.overlayY));
        EXPECT_EQ(task.orientation, MapOrientation::follow);
        EXPECT_EQ(task.timeWidget, before.timeWidget);
        EXPECT_FALSE(task.timeWidget.enabled);
        EXPECT_EQ(task.speedWidget, before.speedWidget);
        EXPECT_EQ(task.heartRateWidget, before.heartRateWidget);
        EXPECT_EQ(task.heartRateGraphWidget, before.heartRateGraphWidget);
        EXPECT_EQ(task.gpsPathWidget, before.gpsPathWidget);
        if (mode == CompositionMode::regular) {
            EXPECT_EQ(task.videoURL, QUrl::fromLocalFile(saved.clip));
            EXPECT_EQ(task.videoResolution, QSizeF(640, 360));
        } else {
            // 720p stays in overlay mode; the canvas keeps the clip's shape.
            EXPECT_TRUE(task.videoURL.isEmpty());
            EXPECT_EQ(task.videoResolution, QSizeF(1280, 720));
        }
    }
}

TEST(ProjectExport, AProjectThatCannotBeUsedGivesTheUsersMessage)
{
    const QString missing = QStringLiteral("Some resources referenced by this project were not found:");
    const auto editJson = [](const char *key, const std::function<void(QJsonValueRef)> &edit) {
        return [=](const SavedProject &p) { p.editJson([&](QJsonObject &root) { edit(root[QLatin1String(key)]); }); };
    };
    const auto disable = [](QJsonValueRef widget) {
        QJsonObject object = widget.toObject();
        object[QStringLiteral("enabled")] = false;
        widget = object;
    };
    struct Case {
        const char *name;
        std::function<void(const SavedProject &)> damage;
        QString expected; // empty: any message
    };
    const QList<Case> cases{
        {"newer version", editJson("version", [](QJsonValueRef v) { v = 6; }),
         QStringLiteral("This project was saved by a newer version of routereel (v6). Please update the app and try "
                        "again.")},
        {"not a project", [](const SavedProject &p) { projecttest::writeFile(p.path, "{\"version\": 5, \"gpx"); }, {}},
        {"invalid values", editJson("playheadTime", [](QJsonValueRef v) { v = -1; }),
         QStringLiteral("The project contains invalid timeline or widget values.")},
        {"track file deleted", [](const SavedProject &p) { QFile::remove(p.track); }, missing},
        {"video file deleted", [](const SavedProject &p) { QFile::remove(p.clip); }, missing},
        {"video no longer a video",
         [](const SavedProject &p) { projecttest::writeFile(p.clip, QByteArray(4096, 'x')); }, {}},
        {"no widget enabled",
         [&](const SavedProject &p) {
             for (const char *key :
                  {"map", "timeWidget", "speedWidget", "gpsPathWidget", "heartRateWidget", "heartRateGraphWidget"})
                 editJson(key, disable)(p);
         },
         ExportStartError::noWidgets().message()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const SavedProject saved(CompositionMode::regular);
        c.damage(saved);
        const QString message = saved.openError();
        EXPECT_FALSE(message.isEmpty());
        if (!c.expected.isEmpty())
            EXPECT_EQ(message, c.expected);
    }
}

TEST(ProjectExport, GPXBeyondTheRestoredVideoIsRefused)
{
    // The track was placed after the clip: the export would run past the video.
    const SavedProject saved(CompositionMode::regular, [](HeadlessProjectWindow &w) {
        const GPXSegment segment = w.engineObject.segments().first();
        w.engineObject.moveSegment(segment.id, 2.5);
    });
    EXPECT_TRUE(saved.openError().startsWith(QStringLiteral("GPX track extends beyond video (0:04 > 0:03).")))
        << qPrintable(saved.openError());
}

// The open project and the last session are protected like the sources: an
// export aimed at either fails and leaves it byte for byte.
TEST(ProjectExport, NeitherTheOpenProjectNorTheLastSessionIsExportedOver)
{
    const SavedProject saved(CompositionMode::overlay);
    const QString lastSession = *ProjectSession::lastSessionPath();
    ASSERT_TRUE(projecttest::writeFile(lastSession, "{\"version\": 5}"));
    for (const QString &destination : {saved.path, lastSession}) {
        SCOPED_TRACE(qPrintable(destination));
        const QByteArray before = projecttest::readAll(destination);
        HeadlessProjectWindow window;
        auto opened = openProjectForExport(window, saved.path, QUrl::fromLocalFile(destination), timeoutMs);
        ASSERT_TRUE(std::holds_alternative<ExportTask>(opened)) << qPrintable(std::get<QString>(opened));
        ExportQueue queue;
        queue.enqueue(std::get<ExportTask>(opened));
        ASSERT_TRUE(testsupport::waitFor([&] { return !queue.isBusy(); }, timeoutMs));
        EXPECT_EQ(queue.history().first().status.message(),
                  QStringLiteral("Choose an export location different from your source files."));
        EXPECT_EQ(projecttest::readAll(destination), before);
    }
    QFile::remove(lastSession);
}

// A project names its files by absolute paths. Any other text names no file,
// even when the working folder holds one of that name, and never reaches libav
// as a protocol: no concatenation, no request.
TEST(ProjectExport, PathsThatAreNotAbsoluteNameNoFile)
{
    testsupport::LoopbackHttpServer server([](const testsupport::HttpRequest &) { return testsupport::HttpResponse{}; });
    const QString http = server.baseUrl().toString() + QStringLiteral("/ride.mp4");
    QTemporaryDir work;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const QString missing = QStringLiteral("Some resources referenced by this project were not found:");
    const QList<std::pair<const char *, QString>> videoPaths{
        {"relative", QStringLiteral("ride.mp4")},
        {"concatenation", QStringLiteral("concat:ride.mp4|ride.mp4")},
        {"web address", http},
    };
    for (const auto &[name, path] : videoPaths) {
        SCOPED_TRACE(name);
        const SavedProject saved(CompositionMode::regular);
        // What the text names, read against the working folder.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QDir::cleanPath(work.filePath(path))).absolutePath()));
        ASSERT_TRUE(QFile::copy(saved.clip, QDir::cleanPath(work.filePath(path))));
        saved.editJson([&](QJsonObject &root) {
            QJsonArray videos = root[QStringLiteral("videoFiles")].toArray();
            QJsonObject video = videos.at(0).toObject();
            video[QStringLiteral("path")] = path;
            videos[0] = video;
            root[QStringLiteral("videoFiles")] = videos;
        });
        EXPECT_EQ(saved.openError(), missing);
    }
    {
        SCOPED_TRACE("relative track");
        const SavedProject saved(CompositionMode::overlay);
        ASSERT_TRUE(QFile::copy(saved.track, work.filePath(QStringLiteral("ride.gpx"))));
        saved.editJson([](QJsonObject &root) {
            QJsonArray tracks = root[QStringLiteral("gpxFiles")].toArray();
            QJsonObject track = tracks.at(0).toObject();
            track[QStringLiteral("path")] = QStringLiteral("ride.gpx");
            tracks[0] = track;
            root[QStringLiteral("gpxFiles")] = tracks;
        });
        EXPECT_EQ(saved.openError(), missing);
    }
    QDir::setCurrent(before);
    EXPECT_EQ(server.requestCount(), 0);
}

namespace {

struct SavedPiece {
    const VideoSource *source;
    double start;
    double end;
    double offset;
};

// A project as an earlier version wrote it, by hand: one 2 s track, the time
// widget alone, and the given clips and pieces.
QByteArray earlierProject(const QString &track, const QList<const VideoSource *> &clips,
                          const QList<SavedPiece> &pieces)
{
    QJsonArray files;
    for (const VideoSource *clip : clips)
        files.append(QJsonObject{{"id", ProjectDocument::uuidText(clip->id)}, {"path", clip->url.toLocalFile()}});
    QJsonArray segments;
    for (const SavedPiece &p : pieces)
        segments.append(QJsonObject{{"id", ProjectDocument::uuidText(QUuid::createUuid())},
                                    {"sourceID", ProjectDocument::uuidText(p.source->id)},
                                    {"sourceStart", p.start},
                                    {"sourceEnd", p.end},
                                    {"offset", p.offset}});
    const QString trackID = ProjectDocument::uuidText(QUuid::createUuid());
    const QJsonObject root{
        {"version", 5},
        {"videoFiles", files},
        {"videoSegments", segments},
        {"gpxFiles", QJsonArray{QJsonObject{{"path", track}, {"trackID", trackID}}}},
        {"segments", QJsonArray{QJsonObject{{"id", ProjectDocument::uuidText(QUuid::createUuid())},
                                            {"trackID", trackID},
                                            {"gpxStart", 0},
                                            {"gpxEnd", 2},
                                            {"offset", 0}}}},
        {"map", QJsonObject{{"enabled", false}, {"provider", "OSM"}, {"shape", "Circle"}, {"width", 200},
                            {"height", 200}, {"cornerRadius", 12}, {"orientation", "North"}, {"zoomLevel", 15},
                            {"opacity", 0.8}}},
        {"timeWidget", QJsonObject{{"enabled", true}, {"fontSize", 18}, {"opacity", 1}, {"textColor", "White"}}},
        {"speedWidget", QJsonObject{{"enabled", false}, {"fontSize", 18}, {"opacity", 1}, {"textColor", "White"},
                                    {"unit", "km/h"}}},
        {"playheadTime", 0},
        {"exportPreset", "Original"},
    };
    return QJsonDocument(root).toJson();
}

} // namespace

// Before a clip's length ended at its last picture it was the file's stated one,
// which MP4 rounds up to whole milliseconds and which counts an empty edit before
// the picture. Pieces saved then to a clip's end are restored whole and exported
// frame for frame.
TEST(ProjectExport, AProjectSavedWithStatedClipLengthsExportsEveryFrame)
{
    QSettings().clear();
    QTemporaryDir dir;
    // 100 frames at 29.97 fps: the last picture ends at 3.336667 s, the file states 3.337 s.
    const QString ntsc = dir.filePath(QStringLiteral("ntsc.mp4"));
    ASSERT_TRUE(testsupport::runFfmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         testsupport::numberedPictures(4, 320, 180, QStringLiteral("30000/1001")), QStringLiteral("-frames:v"),
         QStringLiteral("100"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"),
         QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), ntsc}));
    const auto &kinds = testsupport::sourceKinds();
    const auto kind = std::find_if(kinds.begin(), kinds.end(),
                                   [](const auto &k) { return QLatin1String(k.name) == "emptyedit.mp4"; });
    ASSERT_NE(kind, kinds.end());
    const QString emptyEdit = testsupport::makeSourceKind(dir.path(), *kind);
    const VideoSource whole = VideoSource::probe(QUrl::fromLocalFile(ntsc), QUuid::createUuid());
    const VideoSource late = VideoSource::probe(QUrl::fromLocalFile(emptyEdit), QUuid::createUuid());
    ASSERT_GT(whole.statedDuration, whole.duration);
    ASSERT_GT(late.statedDuration, late.duration + 1);
    const QString track = projecttest::writeGPX(dir.path(), QStringLiteral("ride.gpx"), 3);

    struct Case {
        const char *name;
        QList<SavedPiece> pieces;
        double shownSeconds;          // of the restored timeline
        QList<double> restoredEnds;
        std::optional<int> frame100;  // the picture exported as frame 100, the join
    };
    const Case cases[] = {
        {"whole clip", {{&whole, 0, whole.statedDuration, 0}}, whole.duration, {whole.duration}, {}},
        {"a cut, then a clip after an empty edit",
         {{&whole, 0, 1, 0}, {&late, 2, late.statedDuration, 1}},
         1 + late.duration - 2,
         {1, late.duration},
         {}},
        // The next piece moves back to meet the clip's end: no black frame between them.
        {"a clip to its stated end, then another piece at once",
         {{&whole, 0, whole.statedDuration, 0}, {&late, 2, 3, whole.statedDuration}},
         whole.duration + 1,
         {whole.duration, 3},
         60},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString project = dir.filePath(QStringLiteral("earlier.rrl"));
        ASSERT_TRUE(projecttest::writeFile(project, earlierProject(track, {&whole, &late}, c.pieces)));
        const QUrl output = QUrl::fromLocalFile(dir.filePath(QStringLiteral("out.mp4")));
        QFile::remove(output.toLocalFile());
        HeadlessProjectWindow window;
        auto opened = openProjectForExport(window, project, output, timeoutMs);
        ASSERT_TRUE(std::holds_alternative<ExportTask>(opened)) << qPrintable(std::get<QString>(opened));
        const ExportTask task = std::get<ExportTask>(opened);
        const QList<VideoSegment> restored = task.videoTimeline->segments;
        ASSERT_EQ(restored.size(), c.pieces.size());
        for (qsizetype i = 0; i < restored.size(); ++i)
            EXPECT_EQ(restored[i].sourceEnd, c.restoredEnds[i]) << i;
        EXPECT_EQ(task.videoTimeline->singleFullSource(), c.pieces.size() == 1);
        for (const LogEntry &entry : window.log.entries())
            EXPECT_EQ(entry.level, LogEntry::Level::info) << qPrintable(entry.title);

        VideoExporter exporter;
        std::optional<ExportResult> result;
        exporter.exportTask(task, [&](const ExportResult &r) { result = r; });
        ASSERT_TRUE(testsupport::waitFor([&] { return result.has_value(); }, timeoutMs));
        ASSERT_TRUE(result->succeeded()) << qPrintable(result->message());
        const auto frames = ExportRun::frameCount(task.videoFPS, c.shownSeconds);
        ASSERT_TRUE(frames);
        EXPECT_EQ(testsupport::probeStream(output.toLocalFile(), QStringLiteral("v:0"),
                                           QStringLiteral("stream=nb_read_frames"))
                      .value(QStringLiteral("nb_read_frames")),
                  QString::number(*frames));
        if (c.frame100)
            EXPECT_EQ(testsupport::shownFrameNumbers(output.toLocalFile()).value(100), *c.frame100);
    }
}
