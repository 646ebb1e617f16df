#pragma once

#include "exportresult.h"
#include "exporttask.h"
#include "exportsourcecheck.h"
#include "ffmpegprocess.h"
#include "ffmpegruntime.h"
#include "videoexporter.h"

#include "maps/osmwebmapexportrenderer.h"
#include "timeline/timelineengine.h"

#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

namespace routereel {

class ExportOutputTransaction;
class ExportPathCapture;
class ExportRunControl;
class GPSPathRenderer;
class TileCache;

// The body of one export, on a worker thread: validate, begin the output
// transaction, warm the map up, start ffmpeg, draw and write every frame in
// order, wait for ffmpeg and commit. Every failure becomes the result.
class ExportRun {
public:
    struct Inputs {
        ExportTask task;
        const TimelineEngine *engine = nullptr;  // the export's own, for time queries
        double start = 0;                        // timeline seconds
        double duration = 0;
        QStringList sourcePaths;  // the clips tested before the run
        FFmpegSearch search;
        TileCache *tileCache = nullptr;
        // Web-map renderers made on the main thread (OSM maps with a web engine in the
        // process); the run shuts them down on the main thread once it is done with them.
        QPointer<OSMWebMapExportRenderer> mapWeb;
        QPointer<OSMWebMapExportRenderer> gpsPathWeb;
    };
    // Progress values to publish; called from the run's threads.
    using PublishProgress = std::function<void(double)>;

    ExportRun(Inputs inputs, std::shared_ptr<ExportRunControl> control, PublishProgress publishProgress);

    ExportResult execute();
    VideoExporter::RunStats stats() const { return m_stats; }

    // Slots drawn at once: the processor count, kept within 2 ... 8.
    static int slotCount(int processors);
    // Threads to draw the next batch with, from `threads` (1 ... `most`): fewer while the
    // last batch was drawn with time to spare before the pipe had room for it, more once
    // it was not. Threads beyond what keeps ffmpeg fed only take cores and cache from it.
    static int drawThreads(int threads, int most, double waitedSeconds, double drawSeconds);
    // Frames of an export, or none when the rate or duration is unusable.
    static std::optional<long long> frameCount(double fps, double duration);
    // Where the map pages look first: the first frame's map, and the whole path.
    static std::optional<WebMapPageView> mapPageView(const ExportTask &task, const TimelineEngine &engine,
                                                     double start);
    static std::optional<WebMapPageView> pathPageView(const ExportTask &task, const TimelineEngine &engine);

    // How long ffmpeg is given to end when asked before it is killed.
    static constexpr std::chrono::seconds stopGrace{3};

private:
    // How ffmpeg ended: its exit, its last error lines, the first line saying it
    // could not read one of its inputs, and the frames it took.
    struct FFmpegEnd {
        FFmpegProcess::Exit exit;
        QString errorLines;
        std::optional<QString> readError;
        long long written = 0;
    };

    ExportResult fail(const ExportResult &result) const;
    std::function<bool()> cancelTest() const;
    ExportResult runFrames();
    bool drawPathBase(GPSPathRenderer *renderer, ExportPathCapture &capture,
                      const TimelineEngine::EffectiveTrackPoints &effective, TileCache &cache);
    ExportResult stopBeforeFrames(FFmpegProcess &process, const ExportError &error);
    FFmpegProcess::Exit waitForFFmpeg(FFmpegProcess &process);
    ExportResult verdict(const std::optional<ExportResult> &failure,
                         const QList<exportsourcecheck::FileStamp> &sourceStamps, const FFmpegEnd &end,
                         long long frames, ExportOutputTransaction &transaction) const;
    static void shutDownOnMain(QPointer<OSMWebMapExportRenderer> &renderer);

    Inputs m_in;
    std::shared_ptr<ExportRunControl> m_control;
    PublishProgress m_publish;
    VideoExporter::RunStats m_stats;
};

} // namespace routereel
