#pragma once

#include "exportresult.h"
#include "overlayframecomposition.h"
#include "videoexporter.h"

#include <chrono>
#include <functional>
#include <optional>

class QThreadPool;

namespace routereel {

class ExportDrawing;
class ExportFrameRing;
class ExportWebMapFrames;
class FFmpegProcess;
class FrameWriter;

// The frames of an export, a batch of the ring's half at a time: the batch's frames
// drawn at once on the application's pool, then written to ffmpeg in order
// while the next batch is drawn into the ring's other half.
class ExportFrameLoop {
public:
    using IsCancelled = std::function<bool()>;
    // How long ffmpeg may stand still, using no processor time, once it takes no more frames.
    static constexpr std::chrono::seconds standingBound{30};

    // `webFrames`: the maps captured ahead, or none when the tile renderer draws them.
    ExportFrameLoop(const ExportDrawing &drawing, ExportFrameRing &ring, ExportWebMapFrames *webFrames,
                    double textScale, IsCancelled isCancelled);

    // Frames 0 ..< `frames` to `process`, until done, cancelled, or ffmpeg ends or
    // takes no more. The failure that stopped it, if any; the figures go to `stats`.
    std::optional<ExportResult> run(long long frames, FFmpegProcess &process, VideoExporter::RunStats &stats);

private:
    // The batch's frame parameters and, with web maps, their maps; false when a capture was lost.
    bool takeBatch(long long begin, long long end, QList<FrameParams> &params, QList<std::optional<QImage>> &maps);
    // Draws the batch into outputs `base` ... on up to m_threads threads.
    void drawBatch(int base, const QList<FrameParams> &params, const QList<std::optional<QImage>> &maps);
    // Sends what was submitted; a writer stuck on a child that takes no more is released by its end.
    // True when the child had stood still and was ended.
    bool finishWriting(FrameWriter &writer, FFmpegProcess &process);

    const ExportDrawing &m_drawing;
    ExportFrameRing &m_ring;
    ExportWebMapFrames *m_webFrames;
    const double m_textScale;
    const IsCancelled m_isCancelled;
    const int m_batchSize;
    // Drawn on the application's pool: Qt's painter hands large fills and blends to that
    // pool unless it already runs on one of its threads, and those hand-overs cost more
    // than they saved.
    QThreadPool *const m_pool;
    const int m_mostThreads;
    int m_threads;
    TextImageCache m_texts;
};

} // namespace routereel
