#include "sinkmonitor.h"

#include "soundserver.h"

#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace testsupport {

namespace {

constexpr int readFrames = SinkRecording::readFrames;
// The server's own choice for a stream's buffer sizes.
constexpr uint32_t serversChoice = uint32_t(-1);
// Looks at the playhead further apart than this tell nothing of it in between: the
// thread that looked was held (they come every 2 ms otherwise).
constexpr double closeLooks = 0.02;

} // namespace

SinkMonitor::SinkMonitor(const SoundServer &server)
{
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, rate, 1};
    // PulseAudio hands a record stream what it has in pieces of this size. PipeWire's
    // service sends whole pieces only and keeps the rest for the next cycle, so a piece
    // that does not divide every cycle the graph takes would start each send with the
    // end of the cycle before; the server's rules keep the stream's own latency at the
    // graph's longest cycle (see SoundServer).
    const int fragment = server.kind() == SoundServer::Kind::pipeWire ? cycleFragmentFrames : readFrames;
    const pa_buffer_attr attr{serversChoice, serversChoice, serversChoice, serversChoice,
                              uint32_t(fragment * sizeof(float))};
    m_simple = pa_simple_new(server.address().toLocal8Bit().constData(), monitorName, PA_STREAM_RECORD,
                             "null.monitor", "what the sink plays", &spec, nullptr, &attr, nullptr);
    if (!m_simple)
        return;
    m_thread = std::thread([this] {
        float chunk[readFrames];
        while (!m_done) {
            if (pa_simple_read(m_simple, chunk, sizeof chunk, nullptr) < 0)
                return;
            const double at = now();
            std::lock_guard lock(m_mutex);
            m_recording.append(chunk, at);
        }
    });
}

SinkMonitor::~SinkMonitor()
{
    m_done = true; // the sink plays on, so the next read comes within a cycle
    if (m_thread.joinable())
        m_thread.join();
    if (m_simple)
        pa_simple_free(m_simple);
}

double SinkMonitor::now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double SinkMonitor::timeOf(qint64 sample) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.timeOf(sample);
}

qint64 SinkMonitor::firstLoud(qint64 from) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.firstLoud(from);
}

double SinkMonitor::lastLoud(double from, double to) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.lastLoud(from, to);
}

qint64 SinkMonitor::lastLoudSample(double from, double to) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.lastLoudSample(from, to);
}

std::vector<SinkMonitor::Slot> SinkMonitor::heardSlots(qint64 from) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.heardSlots(from);
}

std::vector<SinkMonitor::Repeat> SinkMonitor::repeats(qint64 from) const
{
    std::lock_guard lock(m_mutex);
    return m_recording.repeats(from);
}

SinkRecording SinkMonitor::recording() const
{
    std::lock_guard lock(m_mutex);
    return m_recording;
}

qint64 SinkMonitor::size() const
{
    std::lock_guard lock(m_mutex);
    return m_recording.size();
}

QStringList SinkMonitor::slotClipArguments(double seconds, const QString &output)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("color=c=gray:s=64x64:r=30:d=%1").arg(seconds), QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), slotTone(seconds), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
            output};
}

// The same tone as SinkRecording::toneAt.
QString SinkMonitor::slotTone(double seconds)
{
    return QStringLiteral("aevalsrc='0.5*sin(2*PI*(%1+%2*mod(floor(t/%3),%4))*t)*gte(mod(t,%3),%5)':s=%6:d=%7")
        .arg(SinkRecording::lowestPitch)
        .arg(SinkRecording::pitchStep)
        .arg(slotSeconds)
        .arg(slotNames)
        .arg(SinkRecording::quietSeconds)
        .arg(rate)
        .arg(seconds);
}

std::vector<double> SinkMonitor::pictureLessSound(const std::vector<Look> &looks, double from, double to) const
{
    std::vector<double> apart;
    for (const Slot &slot : heardSlots(0)) {
        if (slot.at < from || slot.at > to)
            continue;
        const auto after = std::lower_bound(looks.begin(), looks.end(), slot.at,
                                            [](const Look &l, double w) { return l.wall < w; });
        if (after == looks.begin() || after == looks.end() || after->wall - (after - 1)->wall > closeLooks)
            continue;
        const Look &a = *(after - 1), &b = *after;
        const double playhead = a.playhead + (b.playhead - a.playhead) * (slot.at - a.wall) / (b.wall - a.wall);
        apart.push_back(playhead - slotTime(slot.name, playhead));
    }
    return apart;
}

} // namespace testsupport
