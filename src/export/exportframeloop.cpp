#include "exportframeloop.h"

#include "exportdrawing.h"
#include "exportframering.h"
#include "exportrun.h"
#include "exportwebmapframes.h"
#include "ffmpegprocess.h"
#include "framewriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace routereel {

ExportFrameLoop::ExportFrameLoop(const ExportDrawing &drawing, ExportFrameRing &ring, ExportWebMapFrames *webFrames,
                                 double textScale, IsCancelled isCancelled)
    : m_drawing(drawing), m_ring(ring), m_webFrames(webFrames), m_textScale(textScale),
      m_isCancelled(std::move(isCancelled)), m_batchSize(ring.batchSize()), m_pool(QThreadPool::globalInstance()),
      m_mostThreads(std::clamp(m_pool->maxThreadCount(), 1, m_batchSize)), m_threads(m_mostThreads)
{
}

std::optional<ExportResult> ExportFrameLoop::run(long long frames, FFmpegProcess &process,
                                                 VideoExporter::RunStats &stats)
{
    const int s = m_batchSize;
    std::optional<ExportResult> failure;
    // Before a half is drawn into again, the s frames of the other half have been submitted.
    FrameWriter writer(process.stdinFd(), (long long)s * (long long)m_ring.frameBytes());
    QElapsedTimer timer;
    for (long long batchStart = 0, batch = 0; batchStart < frames; batchStart += s, ++batch) {
        if (m_isCancelled() || !process.isRunning() || writer.error() != 0)
            break;
        const long long batchEnd = std::min(batchStart + s, frames);
        QList<FrameParams> params;
        QList<std::optional<QImage>> maps;
        params.reserve(int(batchEnd - batchStart));
        if (!takeBatch(batchStart, batchEnd, params, maps)) {
            failure = ExportResult::failure(ExportError::renderError());
            break;
        }
        if (auto error = prepareTextImages(m_texts, params, m_drawing.context().texts, m_textScale, m_isCancelled)) {
            failure = ExportResult::failure(*error);
            break;
        }
        // The ring of this half were last used two batches ago.
        timer.start();
        if (!writer.waitUntilReleased(batchEnd - m_ring.size(), m_isCancelled))
            break;
        const double waited = timer.nsecsElapsed() / 1e9;
        stats.pipeWaitSeconds += waited;

        timer.start();
        const int base = int(batch % 2) * s;
        drawBatch(base, params, maps);
        const double drawn = timer.nsecsElapsed() / 1e9;
        stats.drawSeconds += drawn;
        // Judged once both halves of the ring are in use: before that nothing waits.
        if (batch >= 2)
            m_threads = ExportRun::drawThreads(m_threads, m_mostThreads, waited, drawn);
        if (m_isCancelled())
            break;
        for (int k = 0; k < params.size(); ++k)
            writer.submit(m_ring.output(base + k), m_ring.frameBytes());
    }
    timer.start();
    if (finishWriting(writer, process) && !failure) {
        failure = ExportResult::failure(ExportError::ffmpegError(
            QCoreApplication::translate("VideoExporter",
                                        "ffmpeg took no more frames and then did nothing for %1 seconds: "
                                        "the export ended it.")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(standingBound).count())));
    }
    stats.pipeWaitSeconds += timer.nsecsElapsed() / 1e9;
    stats.writeSeconds = writer.secondsInWrite();
    stats.frames = writer.written();
    return failure;
}

bool ExportFrameLoop::takeBatch(long long begin, long long end, QList<FrameParams> &params,
                                QList<std::optional<QImage>> &maps)
{
    if (!m_webFrames) {
        for (long long i = begin; i < end; ++i)
            params.append(computeFrameParams(int(i), m_drawing.context()));
        return true;
    }
    for (long long i = begin; i < end; ++i) {
        std::optional<ExportWebMapFrames::Frame> frame = m_webFrames->take();
        // A frame off the track has no map, which is no failure; a lost capture is.
        if (!frame || frame->map.status == OSMWebMapExportRenderer::ExportFrame::Status::failed)
            return false;
        params.append(frame->params);
        maps.append(frame->map.image);
    }
    return true;
}

void ExportFrameLoop::drawBatch(int base, const QList<FrameParams> &params, const QList<std::optional<QImage>> &maps)
{
    const bool prepared = m_webFrames != nullptr;
    std::atomic<int> next = 0;
    const int workers = std::min(m_threads, int(params.size()));
    QSemaphore done;
    for (int w = 0; w < workers; ++w) {
        m_pool->start([&] {
            for (int k = next++; k < params.size(); k = next++)
                m_ring.draw(base + k, params.at(k), prepared ? maps.at(k) : std::nullopt, prepared, m_texts);
            done.release();
        });
    }
    done.acquire(workers);
}

bool ExportFrameLoop::finishWriting(FrameWriter &writer, FFmpegProcess &process)
{
    bool ended = false;
    if (m_isCancelled() || !writer.finish(m_isCancelled)) {
        // The writer may be stuck in a write that only the child's end releases.
        if (m_isCancelled()) {
            // ffmpeg waiting for a frame takes no heed of SIGTERM until its read ends.
            process.endInput();
            process.end(ExportRun::stopGrace);
        } else if (!process.waitForExitWhileWorking(standingBound)) {
            // ffmpeg may still be finishing the file on a busy machine: only one
            // that has stood still is ended.
            process.end(ExportRun::stopGrace);
            ended = true;
        }
        writer.abort();
    }
    return ended;
}

} // namespace routereel
