#pragma once

#include "project/projectalerts.h"
#include "project/projectfilepanels.h"
#include "project/projectmodels.h"
#include "project/projectplayer.h"
#include "project/projectsession.h"
#include "project/projectwindow.h"

#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "tracks/logstore.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/waitfor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPromise>
#include <QSettings>
#include <QTimeZone>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace projecttest {

using namespace routereel;

// Records what the project roads ask of the player; the test decides when it is loaded.
class FakePlayer : public ProjectPlayer {
public:
    QUrl url;
    double playhead = 0;
    bool loaded = false;
    QString error;
    bool soundOnly = false;
    int resets = 0;
    int pauses = 0;
    QList<VideoTimelineSnapshot> timelineLoads;
    QList<std::pair<std::optional<std::pair<double, double>>, QSizeF>> overlayLoads;
    QList<double> seeks;
    QList<double> scrubs;

    QUrl videoURL() const override { return url; }
    double playheadTime() const override { return playhead; }
    bool isLoaded() const override { return loaded; }
    QString loadingError() const override { return error; }
    bool loadingErrorIsSoundOnly() const override { return soundOnly; }
    void reset() override
    {
        ++resets;
        playhead = 0;
        url.clear();
        setLoaded(false);
    }
    void loadTimeline(const VideoTimelineSnapshot &snapshot) override { timelineLoads.append(snapshot); }
    void loadOverlayOnly(std::optional<std::pair<double, double>> range, QSizeF canvas) override
    {
        overlayLoads.append({range, canvas});
    }
    void pause() override { ++pauses; }
    void seek(double seconds) override
    {
        seeks.append(seconds);
        playhead = seconds;
    }
    void scrub(double seconds) override
    {
        scrubs.append(seconds);
        playhead = seconds;
    }

    void setLoaded(bool value)
    {
        if (loaded == value)
            return;
        loaded = value;
        emit isLoadedChanged();
    }
    void failLoading(const QString &message)
    {
        error = message;
        emit loadingErrorChanged();
    }
};

struct FakeAlerts : ProjectAlerts {
    QStringList shown;
    void showErrorAlert(const QString &text) override { shown << text; }
};

// Answers panels with prepared URLs and remembers what they proposed.
struct FakePanels : ProjectFilePanels {
    std::optional<QUrl> saveAnswer;
    std::optional<QUrl> openAnswer;
    QList<std::pair<QString, QString>> saveRequests;  // proposed name, folder
    int openRequests = 0;

    std::optional<QUrl> chooseSaveLocation(const QString &proposedName, const QString &folder) override
    {
        saveRequests.append({proposedName, folder});
        return saveAnswer;
    }
    std::optional<QUrl> chooseProjectToOpen() override
    {
        ++openRequests;
        return openAnswer;
    }
};

// The model objects and window state of a main window, as plain members.
class FakeWindow : public ProjectModels {
public:
    FakePlayer playerObject;
    int videoImportCancels = 0;
    QList<QList<QUrl>> droppedImports;

    ProjectPlayer &player() override { return playerObject; }
    void cancelVideoImport() override { ++videoImportCancels; }
    void importDroppedFiles(const QList<QUrl> &urls) override { droppedImports.append(urls); }

    QList<LogEntry> entries(LogEntry::Level level) const
    {
        QList<LogEntry> out;
        for (const LogEntry &e : log.entries()) {
            if (e.level == level)
                out.append(e);
        }
        return out;
    }
};

struct ClearedSettings {
    ClearedSettings() { QSettings().clear(); }
};

// A window, its session and fakes, with the user's settings emptied before the
// settings objects read them.
struct Harness {
    ClearedSettings cleared;
    std::unique_ptr<FakeWindow> window = std::make_unique<FakeWindow>();
    FakeAlerts alerts;
    FakePanels panels;
    ProjectSession session{*window, alerts, panels};
};

// Processes events until `done` or about five seconds have passed.
inline bool spinUntil(const std::function<bool()> &done)
{
    return testsupport::waitFor(done, 5000);
}

// Lets the session's reads and writes on the file queue end and be applied.
inline bool settle(ProjectSession &session)
{
    return spinUntil([&] { return !session.hasFileWork(); });
}

inline void spinEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// A GPX track of `points` fixes one second apart, so its duration is points - 1 seconds.
inline QString writeGPX(const QString &dir, const QString &name, int points = 601)
{
    QString text = QStringLiteral("<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\"><trk><trkseg>\n");
    for (int i = 0; i < points; ++i) {
        text += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>%3</time></trkpt>\n")
                    .arg(47.0 + i * 0.0001, 0, 'f', 6)
                    .arg(8.0 + i * 0.0001, 0, 'f', 6)
                    .arg(QDateTime::fromSecsSinceEpoch(1714557600 + i, Qt::UTC).toString(Qt::ISODate));
    }
    text += QStringLiteral("</trkseg></trk></gpx>\n");
    const QString path = dir + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text.toUtf8());
    return path;
}

// Video probes that the test answers one by one, in any order.
struct ControlledProbe {
    struct Call {
        QUrl url;
        QUuid id;
        std::shared_ptr<QPromise<VideoSource>> promise;
    };
    QList<Call> calls;

    ProjectSession::VideoProbe function()
    {
        return [this](const QUrl &url, const QUuid &id) {
            auto promise = std::make_shared<QPromise<VideoSource>>();
            promise->start();
            calls.append({url, id, promise});
            return promise->future();
        };
    }
    void succeed(qsizetype index, double duration, QSizeF resolution = QSizeF(1280, 720))
    {
        VideoSource source;
        source.id = calls[index].id;
        source.url = calls[index].url;
        source.duration = duration;
        source.resolution = resolution;
        calls[index].promise->addResult(source);
        calls[index].promise->finish();
    }
    // Answers with `found`, given the call's id and file.
    void succeed(qsizetype index, VideoSource found)
    {
        found.id = calls[index].id;
        found.url = calls[index].url;
        calls[index].promise->addResult(found);
        calls[index].promise->finish();
    }
    void fail(qsizetype index, const QException &error)
    {
        calls[index].promise->setException(error);
        calls[index].promise->finish();
    }
};

// The smallest document the session applies: the three required widget blocks and no video.
inline ProjectDocument baseDocument()
{
    ProjectDocument d;
    d.exportPreset = QStringLiteral("Original");
    d.map = MapData{true, "OSM", {}, "Circle", {}, 200, 200, 12, "North", 15, 0.8, {}, {}};
    d.timeWidget = TimeWidgetData{true, 18, 1, "White", {}, {}};
    d.speedWidget = SpeedWidgetData{true, 18, 1, "White", "km/h", {}, {}};
    d.videoFiles = QList<VideoFileRef>();
    return d;
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file in a folder, hidden ones (temporary files) included.
inline QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace projecttest
