#pragma once

#include "overlayframecomposition.h"
#include "pipeframe.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace routereel {

struct ExportTask;
class YuvaFrameConverter;

// The pixel memory of an export, made once: a ring of twice `batchSize` frames
// for the pipe, one half drawn while ffmpeg takes the other. Frames go out
// converted wherever ffmpeg would only convert them (each drawing task converts
// its own frame, off ffmpeg's single filter thread); the drawing buffers are
// then free again as soon as a batch is drawn, and only the converted frames
// wait for the pipe.
class ExportFrameRing {
public:
    ExportFrameRing(const ExportTask &task, const PipeFrame &pipe, const OverlayFrameComposer &composer, int batchSize);
    ~ExportFrameRing();

    ExportFrameRing(const ExportFrameRing &) = delete;
    ExportFrameRing &operator=(const ExportFrameRing &) = delete;

    // False when the frames' converters could not be made.
    bool isValid() const { return m_valid; }
    int size() const { return int(m_outputs.size()); }
    // Frames drawn at once: half the ring.
    int batchSize() const { return size() / 2; }
    std::size_t frameBytes() const { return m_frameBytes; }

    // Draws a frame for the pipe into output `out`; calls for different outputs may run at once.
    void draw(int out, const FrameParams &params, const std::optional<QImage> &preparedMap, bool usePreparedMaps,
              const TextImageCache &texts);
    const unsigned char *output(int out) const { return m_outputs[std::size_t(out)]; }
    // Whether a frame drew outside the parts of the canvas sent to ffmpeg.
    bool drewOutside() const { return m_drawnOutside; }
    // Frees the pixel memory once ffmpeg has ended; nothing is drawn afterwards.
    void release() { m_memory.clear(); }

private:
    const OverlayFrameComposer &m_composer;
    const PipeFrame m_pipe;
    const bool m_converted;
    bool m_valid = true;
    std::vector<std::unique_ptr<unsigned char[]>> m_memory;
    std::vector<OverlayFrameComposer::Slot> m_slots;
    std::vector<unsigned char *> m_outputs;
    std::vector<std::unique_ptr<YuvaFrameConverter>> m_converters;
    std::vector<QRegion> m_outputBoxes;
    std::size_t m_frameBytes = 0;
    QRegion m_sent;
    std::atomic<bool> m_drawnOutside = false;
    std::mutex m_freeLock;
    std::vector<std::size_t> m_freeSlots;
};

} // namespace routereel
