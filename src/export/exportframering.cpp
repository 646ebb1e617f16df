#include "exportframering.h"

#include "ffmpegcommandline.h"
#include "yuvaframeconverter.h"

namespace routereel {

ExportFrameRing::ExportFrameRing(const ExportTask &task, const PipeFrame &pipe, const OverlayFrameComposer &composer,
                                 int batchSize)
    : m_composer(composer), m_pipe(pipe),
      m_converted(FFmpegCommandLine::pipeFormat(task) != FFmpegCommandLine::PipeFormat::bgra)
{
    const int ringSize = 2 * batchSize;
    const auto output = FFmpegCommandLine::pipeFormat(task) == FFmpegCommandLine::PipeFormat::yuva420p
        ? YuvaFrameConverter::Output::yuva420p
        : YuvaFrameConverter::Output::yuv420pBt709;
    const quint32 background = composer.setup().overlayMode ? OverlayFrameComposer::overlayBackground : 0;
    const ExportColour overlayColour = FFmpegCommandLine::overlayColour(task);
    const int drawSlots = m_converted ? batchSize : ringSize;
    m_slots.resize(std::size_t(drawSlots));
    for (OverlayFrameComposer::Slot &slot : m_slots) {
        m_memory.emplace_back(new unsigned char[std::size_t(pipe.byteCount())]);
        slot.data = m_memory.back().get();
        composer.initialise(slot);
    }
    m_outputs.resize(std::size_t(ringSize));
    m_frameBytes = std::size_t(pipe.byteCount());
    for (std::size_t k = 0; k < m_outputs.size(); ++k) {
        if (!m_converted) {
            m_outputs[k] = m_slots[k].data;
            continue;
        }
        m_converters.push_back(
            std::make_unique<YuvaFrameConverter>(pipe.width, pipe.height, output, background, overlayColour));
        if (!m_converters.back()->isValid()) {
            m_valid = false;
            break;
        }
        m_frameBytes = std::size_t(pipe.tiled() ? YuvaFrameConverter::byteCount(pipe.packedSize.width(),
                                                                                pipe.packedSize.height(), output)
                                                : m_converters.back()->byteCount());
        // Zero: what lies between packed tiles is never written, nor shown.
        m_memory.emplace_back(new unsigned char[m_frameBytes]());
        m_outputs[k] = m_memory.back().get();
    }
    // Converted buffers start as an empty frame; later only the widgets' surroundings change.
    m_outputBoxes.resize(std::size_t(ringSize));
    for (std::size_t k = 0; m_converted && m_valid && !pipe.tiled() && k < m_converters.size(); ++k)
        m_converters[k]->convert(m_slots[0].data, m_outputs[k]);
    // A frame drawing outside the tiles would lose that part: said once in the log.
    for (const PipeTile &tile : pipe.tiles)
        m_sent += tile.canvas;
    for (std::size_t k = 0; m_converted && k < m_slots.size(); ++k)
        m_freeSlots.push_back(k);
}

ExportFrameRing::~ExportFrameRing() = default;

void ExportFrameRing::draw(int out, const FrameParams &params, const std::optional<QImage> &preparedMap,
                           bool usePreparedMaps, const TextImageCache &texts)
{
    // Unconverted frames are drawn in their own output; the others in the slot
    // freed last, still in the caches (with fewer threads than slots the rest stay cold).
    std::size_t used = std::size_t(out);
    if (m_converted) {
        std::lock_guard lock(m_freeLock);
        used = m_freeSlots.back();
        m_freeSlots.pop_back();
    }
    OverlayFrameComposer::Slot &slot = m_slots[used];
    m_composer.draw(slot, params, preparedMap, usePreparedMaps, texts);
    if (!m_converted)
        return;
    const auto k = std::size_t(out);
    if (m_pipe.tiled()) {
        m_converters[used]->convertTiles(slot.data, m_pipe.tiles, m_pipe.packedSize, m_outputs[k]);
        if (!(slot.dirty - m_sent).isEmpty())
            m_drawnOutside = true;
    } else {
        m_converters[used]->convertContent(slot.data, slot.dirty, m_outputs[k], m_outputBoxes[k]);
    }
    std::lock_guard lock(m_freeLock);
    m_freeSlots.push_back(used);
}

} // namespace routereel
