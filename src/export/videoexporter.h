#pragma once

#include "exportnotifier.h"
#include "exportresult.h"
#include "exporttask.h"
#include "ffmpegruntime.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace routereel {

class ExportRunControl;
class OSMWebMapExportRenderer;
class TileCache;
class TimelineEngine;

// Runs one export task at a time through ffmpeg and publishes what the
// interface shows of it. export() prepares on the calling (main) thread and
// hands the run to a worker thread; the result comes back on the main thread.
class VideoExporter : public QObject {
    Q_OBJECT
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool isExporting READ isExporting NOTIFY isExportingChanged)
    Q_PROPERTY(bool isComplete READ isComplete NOTIFY isCompleteChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    using Completion = std::function<void(const ExportResult &)>;

    // Figures of the last run, for benchmarks.
    struct RunStats {
        long long frames = 0;
        double drawSeconds = 0;      // wall time spent drawing batches
        double pipeWaitSeconds = 0;  // the run waiting for ffmpeg to take frames
        double writeSeconds = 0;     // the writer thread blocked in write()
        // Who drew the maps: "web", "raster", or empty when the widget was not drawn.
        QString mapRenderer;
        QString pathMapRenderer;
        long long mapCaptures = 0;        // web-map frames captured from the page
        long long mapCapturesReused = 0;  // frames given an earlier capture
        double mapCaptureSeconds = 0;     // the producer waiting for captures
    };

    explicit VideoExporter(QObject *parent = nullptr);
    // Cancels a running export and waits (a few seconds at most) for it to end.
    ~VideoExporter() override;

    // Where ffmpeg is looked for (tests and benchmarks point elsewhere).
    void setFFmpegSearch(const FFmpegSearch &search);
    // The tile store of the raster map; the application's shared one by default.
    void setTileCache(TileCache *cache);
    void setNotifier(std::shared_ptr<ExportNotifier> notifier);
    std::shared_ptr<ExportNotifier> notifier() const { return m_notifier; }

    double progress() const { return m_progress; }
    bool isExporting() const { return m_isExporting; }
    bool isComplete() const { return m_isComplete; }
    // Empty while exporting, after success and after a cancel.
    QString errorMessage() const { return m_errorMessage; }

    // Starts `task`; `completion` is called once, on the main thread, unless the exporter is destroyed first.
    void exportTask(const ExportTask &task, Completion completion);
    // Stops the running export; its completion then gets the cancel error.
    void cancel();
    // As cancel(), but kills ffmpeg at once instead of asking it to end (a quit that cannot wait).
    void kill();
    bool cancelled() const;
    // A cancel test for background work: true once cancelled or when this exporter is gone.
    std::function<bool()> isCancelled() const;

    // Shows a desktop notification through the notifier, if there is one.
    void postExportNotification(const QString &title, const QString &body);

    RunStats lastRunStats() const;

signals:
    void progressChanged();
    void isExportingChanged();
    void isCompleteChanged();
    void errorMessageChanged();

private:
    void setProgress(double value);
    void setExporting(bool value);
    void setComplete(bool value);
    void setErrorMessage(const QString &value);
    void finishOnMain(const ExportResult &result, const Completion &completion);
    void joinWorker();

    double m_progress = 0;
    bool m_isExporting = false;
    bool m_isComplete = false;
    QString m_errorMessage;

    FFmpegSearch m_search = FFmpegSearch::standard();
    TileCache *m_tileCache = nullptr;
    std::shared_ptr<ExportNotifier> m_notifier;
    std::shared_ptr<ExportRunControl> m_control;
    std::unique_ptr<TimelineEngine> m_engine;
    std::unique_ptr<OSMWebMapExportRenderer> m_mapWeb;
    std::unique_ptr<OSMWebMapExportRenderer> m_gpsPathWeb;
    std::thread m_worker;
    mutable std::mutex m_statsLock;
    RunStats m_stats;
};

} // namespace routereel
