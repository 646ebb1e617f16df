#include "sinkmonitor.h"

#include "soundserver.h"

#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace testsupport {

namespace {

constexpr int readFrames = SinkMonitor::rate / 1000;

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
    const pa_buffer_attr attr{uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(fragment * 4)};
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
            m_samples.insert(m_samples.end(), chunk, chunk + readFrames);
            m_arrivals.push_back(at);
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
    return timeOfLocked(sample);
}

double SinkMonitor::timeOfLocked(qint64 sample) const
{
    placeLocked();
    if (m_stretches.empty())
        return NAN;
    auto in = std::upper_bound(m_stretches.begin(), m_stretches.end(), sample,
                               [](qint64 s, const Stretch &stretch) { return s < stretch.from; });
    if (in != m_stretches.begin())
        --in;
    return in->origin + double(sample) / rate;
}

// A read comes no sooner than its samples were played: the earliest of the reads from
// a point on steps up only where samples were lost after it. Within each stretch the
// median places the recording, riding out reads held up on a busy machine.
void SinkMonitor::placeLocked() const
{
    if (m_placedReads == m_arrivals.size())
        return;
    m_placedReads = m_arrivals.size();
    struct Burst {
        qint64 from;
        double origin;
    };
    std::vector<Burst> bursts;
    std::size_t burstStart = 0;
    for (std::size_t k = 0; k < m_arrivals.size(); ++k) {
        if (k > 0 && m_arrivals[k] - m_arrivals[k - 1] < 0.0005)
            continue; // within a burst
        // A cycle handed over at once but read in two goes (the reading thread held
        // between them): the second part has not been played yet when it comes.
        if (k > 0 && m_arrivals[k] - m_arrivals[burstStart] < 0.5 * double((k - burstStart) * readFrames) / rate)
            continue;
        burstStart = k;
        bursts.push_back({qint64(k) * readFrames, m_arrivals[k] - double((k + 1) * readFrames) / rate});
    }
    constexpr double lostAtLeast = 0.01;   // below any graph's cycle
    constexpr std::size_t fewestBursts = 3; // a lone late read at the end is no loss
    std::vector<double> earliestFrom(bursts.size() + 1, INFINITY);
    for (std::size_t k = bursts.size(); k-- > 0;)
        earliestFrom[k] = std::min(bursts[k].origin, earliestFrom[k + 1]);
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < bursts.size(); ++k)
        if (earliestFrom[k] - earliestFrom[k - 1] > lostAtLeast && bursts.size() - k >= fewestBursts
            && k - starts.back() >= fewestBursts)
            starts.push_back(k);
    m_stretches.clear();
    for (std::size_t n = 0; n < starts.size(); ++n) {
        const std::size_t end = n + 1 < starts.size() ? starts[n + 1] : bursts.size();
        std::vector<double> origins;
        for (std::size_t k = starts[n]; k < end; ++k)
            origins.push_back(bursts[k].origin);
        std::nth_element(origins.begin(), origins.begin() + std::ptrdiff_t(origins.size() / 2), origins.end());
        m_stretches.push_back({bursts[starts[n]].from, origins[origins.size() / 2]});
    }
}

qint64 SinkMonitor::firstLoud(qint64 from) const
{
    std::lock_guard lock(m_mutex);
    for (qint64 i = std::max<qint64>(from, 0); i < qint64(m_samples.size()); ++i)
        if (std::abs(m_samples[std::size_t(i)]) > 0.02f)
            return i;
    return -1;
}

double SinkMonitor::lastLoud(double from, double to) const
{
    std::lock_guard lock(m_mutex);
    for (qint64 i = qint64(m_samples.size()) - 1; i >= 0; --i) {
        const double at = timeOfLocked(i);
        if (at < from)
            break;
        if (at < to && std::abs(m_samples[std::size_t(i)]) > 0.02f)
            return at;
    }
    return NAN;
}

namespace {

constexpr double lowestPitch = 400;
constexpr double pitchStep = 40;
constexpr double quietSeconds = 0.01;

} // namespace

QStringList SinkMonitor::slotClipArguments(double seconds, const QString &output)
{
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("color=c=gray:s=64x64:r=30:d=%1").arg(seconds), QStringLiteral("-f"), QStringLiteral("lavfi"),
            QStringLiteral("-i"), slotTone(seconds), QStringLiteral("-c:v"), QStringLiteral("libx264"),
            QStringLiteral("-preset"), QStringLiteral("ultrafast"), QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"),
            output};
}

QString SinkMonitor::slotTone(double seconds)
{
    return QStringLiteral("aevalsrc='0.5*sin(2*PI*(%1+%2*mod(floor(t/%3),%4))*t)*gte(mod(t,%3),%5)':s=48000:d=%6")
        .arg(lowestPitch)
        .arg(pitchStep)
        .arg(slotSeconds)
        .arg(slotNames)
        .arg(quietSeconds)
        .arg(seconds);
}

std::vector<SinkMonitor::Slot> SinkMonitor::heardSlots(qint64 from) const
{
    std::lock_guard lock(m_mutex);
    placeLocked();
    std::vector<Slot> found;
    // Only a slot's own silence opens it: sound that starts after a longer one (a
    // start, a stand) starts within a slot, whose beginning it is not.
    const qint64 quiet = qint64(quietSeconds * rate / 2), longest = qint64(quietSeconds * rate * 3 / 2);
    const qint64 read = qint64(0.07 * rate);
    qint64 still = 0;
    for (qint64 i = std::max<qint64>(from, 0); i + read < qint64(m_samples.size()); ++i) {
        if (std::abs(m_samples[std::size_t(i)]) <= 0.02f) {
            ++still;
            continue;
        }
        if (still >= quiet && still <= longest) {
            // The pitch from the zero crossings of the tone that follows.
            // A tone cut within it (a pause, a stand) tells no pitch: none of the
            // tones stays that long below a whisper.
            int crossings = 0;
            qint64 hush = 0, longestHush = 0;
            for (qint64 k = i + 1; k < i + read; ++k) {
                crossings += (m_samples[std::size_t(k - 1)] < 0) != (m_samples[std::size_t(k)] < 0);
                hush = std::abs(m_samples[std::size_t(k)]) <= 0.02f ? hush + 1 : 0;
                longestHush = std::max(longestHush, hush);
            }
            const double pitch = crossings / (2.0 * double(read) / rate);
            const int name = int(std::lround((pitch - lowestPitch) / pitchStep));
            // Samples lost within the read join two tones: no pitch of either.
            const bool joined = std::any_of(m_stretches.begin(), m_stretches.end(),
                                            [&](const Stretch &s) { return s.from > i && s.from <= i + read; });
            if (name >= 0 && name < slotNames && longestHush < rate / 1000 && !joined)
                found.push_back({timeOfLocked(i), name});
            i += read;
        }
        still = 0;
    }
    return found;
}

double SinkMonitor::slotTime(int name, double near)
{
    const double cycle = slotNames * slotSeconds;
    const double first = name * slotSeconds + quietSeconds;
    return first + cycle * std::round((near - first) / cycle);
}

qint64 SinkMonitor::size() const
{
    std::lock_guard lock(m_mutex);
    return qint64(m_samples.size());
}

std::vector<double> SinkMonitor::pictureLessSound(const std::vector<Look> &looks, double from, double to) const
{
    std::vector<double> apart;
    for (const Slot &slot : heardSlots(0)) {
        if (slot.at < from || slot.at > to)
            continue;
        const auto after = std::lower_bound(looks.begin(), looks.end(), slot.at,
                                            [](const Look &l, double w) { return l.wall < w; });
        if (after == looks.begin() || after == looks.end() || after->wall - (after - 1)->wall > 0.02)
            continue;
        const Look &a = *(after - 1), &b = *after;
        const double playhead = a.playhead + (b.playhead - a.playhead) * (slot.at - a.wall) / (b.wall - a.wall);
        apart.push_back(playhead - slotTime(slot.name, playhead));
    }
    return apart;
}

} // namespace testsupport
