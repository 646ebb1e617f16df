#include "sounddevice.h"

#include <pulse/pulseaudio.h>

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace routereel {

namespace {

constexpr pa_usec_t tickUsec = 20'000;       // how often the connection is looked after
constexpr qint64 retryUsec = 500'000;        // between attempts to reach a server
constexpr double bufferSeconds = 0.3;        // the server's buffer: rides out a busy machine
constexpr double startSeconds = 0.05;        // what it needs before it plays
// The server's read position moves in its own periods: standing longer than this
// while samples are queued, it takes none.
constexpr qint64 stallUsec = 300'000;
// A timing request unanswered this long: the server stands. libpulse gives up on a
// reply after 30 s and then takes no more of the stream's requests, so that the
// stream would never tell a time again; one made anew tells it from the server's
// return, and what the old one had queued is not played after the stand.
constexpr qint64 renewUsec = 500'000;
constexpr int mostAsking = 4;
// Asked every tick, a server answers within this unless it stands.
constexpr qint64 answerUsec = 50'000;
// A server back from a stand catches up first (a null sink renders the whole stand
// at once): a stream played meanwhile is read faster than real time, and its times
// are off by a tenth of a second and more for seconds. The new stream is told this
// long after it is ready.
constexpr qint64 renewSettleUsec = 300'000;

qint64 monotonicUsec()
{
    return qint64(pa_rtclock_now());
}

const timeval &soon()
{
    thread_local timeval tv;
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, tickUsec);
    return tv;
}

void unref(pa_operation *op)
{
    if (op)
        pa_operation_unref(op);
}

class Locked {
public:
    explicit Locked(pa_threaded_mainloop *loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~Locked() { pa_threaded_mainloop_unlock(m_loop); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

} // namespace

SoundDevice::SoundDevice(int sampleRate, int channels, Source source, QObject *parent)
    : QObject(parent), m_rate(sampleRate), m_channels(channels), m_source(std::move(source))
{
    m_loop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_set_name(m_loop, "sound output");
    Locked lock(m_loop);
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
    connectServer();
    m_timer = api->time_new(api, &soon(), &SoundDevice::onTick, this);
    pa_threaded_mainloop_start(m_loop);
}

SoundDevice::~SoundDevice()
{
    {
        Locked lock(m_loop);
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_timer);
        dropServer();
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void SoundDevice::start()
{
    Locked lock(m_loop);
    m_wanted = true;
    m_health.renewed = false;
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        resume();
}

quint64 SoundDevice::stop()
{
    Locked lock(m_loop);
    m_wanted = false;
    ++m_stops;
    m_stopTells = false;
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        hold();
        m_stopTells = m_stoppedBase >= 0;
    }
    return m_stops;
}

bool SoundDevice::tellsStop() const
{
    Locked lock(m_loop);
    return m_stopTells;
}

quint64 SoundDevice::finish()
{
    Locked lock(m_loop);
    m_wanted = false;
    ++m_stops;
    m_stopTells = false;
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return m_stops;
    if (m_held) {
        hold();
        return m_stops;
    }
    m_playOut = PlayOut::filling;
    fill();
    return m_stops;
}

std::optional<double> SoundDevice::heardSeconds() const
{
    Locked lock(m_loop);
    if (!m_wanted || !m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY || m_base < 0
        || m_readIndex <= m_base)
        return std::nullopt;
    // A server that stopped answering, or whose position stood too long, takes no samples.
    const qint64 now = monotonicUsec();
    if (now - m_health.repliedAt > stallUsec || m_health.repliedAt - m_health.movedAt > stallUsec)
        return std::nullopt;
    // A server that leaves the requests of a thread that looks after them unanswered
    // stands, and its sink with it: what is heard stands from a tick after its last reply.
    // PipeWire's graph plays on what its service handed it, as far as the moves tell.
    const qint64 unheard = !m_cycleUnreported && m_health.asking > 0 && now - m_health.askedAt > answerUsec && now - m_tickedAt < answerUsec
        ? std::max<qint64>(now - m_health.repliedAt - qint64(tickUsec), 0) : 0;
    double heard = 0;
    if (m_cycleUnreported) {
        const std::optional<qint64> placed = m_cycleHeard.heardUsec(now - unheard);
        if (!placed || standsLong())
            return std::nullopt;
        // Never past what was written: the sink plays silence after it.
        const qint64 written = usecOf(m_writtenSince);
        heard = double(std::min(*placed, written)) / 1e6;
    } else {
        pa_usec_t usec = 0;
        if (pa_stream_get_time(m_stream, &usec) < 0)
            return std::nullopt;
        heard = double(qint64(usec) - unheard - usecOf(m_base)) / 1e6;
    }
    if (heard <= 0)
        return std::nullopt;
    return heard;
}

double SoundDevice::latencySeconds() const
{
    Locked lock(m_loop);
    if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return bufferSeconds;
    const pa_buffer_attr *attr = pa_stream_get_buffer_attr(m_stream);
    const pa_timing_info *timing = pa_stream_get_timing_info(m_stream);
    pa_usec_t usec = attr ? pa_bytes_to_usec(attr->tlength, pa_stream_get_sample_spec(m_stream))
                          : pa_usec_t(bufferSeconds * 1e6);
    // A sink at rest may have taken far more than it will keep once played to: what
    // it holds now is heard first.
    if (timing)
        usec += std::max(timing->configured_sink_usec, timing->sink_usec) + timing->transport_usec;
    if (m_cycleUnreported)
        usec += 2 * pa_usec_t(m_cycleHeard.cycleUsec());
    return double(usec) / 1e6;
}

qint64 SoundDevice::framesTaken() const
{
    Locked lock(m_loop);
    return m_taken;
}

void SoundDevice::onTick(pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self)
{
    static_cast<SoundDevice *>(self)->tick();
    api->time_restart(event, &soon());
}

void SoundDevice::onWritable(pa_stream *stream, size_t, void *self)
{
    auto *device = static_cast<SoundDevice *>(self);
    device->fill();
    // PipeWire's service asks for more just after a cycle: a reply now places the
    // time heard closest, rather than up to a tick and a cycle late after each start.
    if (device->m_cycleUnreported && !device->m_held && stream == device->m_stream)
        device->askTiming();
}

// Each reply is read as it comes, not at the next tick: the first sound heard is
// told up to a tick sooner, and a tick held up on a busy machine is no stand.
void SoundDevice::onTiming(pa_stream *stream, int success, void *self)
{
    auto *device = static_cast<SoundDevice *>(self);
    if (stream != device->m_stream)
        return;
    Health &health = device->m_health;
    health.asking = std::max(health.asking - 1, 0);
    health.askedAt = monotonicUsec(); // the next is younger than this one was
    if (!success)
        health.refused = true; // timed out: its place in libpulse stays taken
    else if (pa_stream_get_state(stream) == PA_STREAM_READY)
        device->noticeTaken();
}

// The flush is answered after the cork took effect: from then on the server takes
// nothing more, and a timing reply asked now tells where its reading ended.
void SoundDevice::onHeldFlushed(pa_stream *stream, int success, void *self)
{
    if (static_cast<SoundDevice *>(self)->awaitsRest(stream, success))
        unref(pa_stream_update_timing_info(stream, &SoundDevice::onRested, self));
}

void SoundDevice::onRested(pa_stream *stream, int success, void *self)
{
    auto *device = static_cast<SoundDevice *>(self);
    if (!device->awaitsRest(stream, success))
        return;
    // Not known, or nothing taken since the start: told as NaN, so that no one waits.
    const pa_timing_info *timing = pa_stream_get_timing_info(stream);
    const bool known = timing && !timing->read_index_corrupt && timing->read_index > device->m_stoppedBase;
    const double seconds = known ? double(device->usecOf(timing->read_index - device->m_stoppedBase)) / 1e6 : NAN;
    device->m_stoppedBase = -1;
    QMetaObject::invokeMethod(device, [device, stop = device->m_stops, seconds] { emit device->stoppedAfter(stop, seconds); },
                              Qt::QueuedConnection);
}

// The source ran out after finish() and the server played out what it took: the
// stream is held, as after a stop, with nothing to tell.
void SoundDevice::onDrained(pa_stream *stream, int success, void *self)
{
    auto *device = static_cast<SoundDevice *>(self);
    if (!success || stream != device->m_stream || device->m_playOut != PlayOut::draining || device->m_wanted)
        return;
    device->hold();
    device->m_stoppedBase = -1;
}

// Still stopped since a stop() that held a playing stream, and not told yet.
bool SoundDevice::awaitsRest(pa_stream *stream, int success) const
{
    return success && stream == m_stream && !m_wanted && m_stoppedBase >= 0;
}

void SoundDevice::onServerInfo(pa_context *, const pa_server_info *info, void *self)
{
    // "PulseAudio (on PipeWire 0.3.65)"
    if (info && info->server_name)
        static_cast<SoundDevice *>(self)->m_cycleUnreported = std::strstr(info->server_name, "PipeWire") != nullptr;
}

// Runs on the loop's thread, its lock held: one place that notices a server lost,
// found or back, and a stream failed, rather than callbacks that each free what
// called them.
void SoundDevice::tick()
{
    const pa_context_state_t state = m_context ? pa_context_get_state(m_context) : PA_CONTEXT_FAILED;
    if (!PA_CONTEXT_IS_GOOD(state)) {
        if (m_context) {
            dropServer();
            m_retryAt = monotonicUsec() + retryUsec;
        }
        tell(false);
        if (monotonicUsec() >= m_retryAt)
            connectServer();
        return;
    }
    if (state != PA_CONTEXT_READY)
        return;
    if (!m_told)
        unref(pa_context_get_server_info(m_context, &SoundDevice::onServerInfo, this));
    tell(true);
    if (m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        dropStream(); // its sink went away: a new stream goes to the server's default
    if (!m_stream)
        openStream(m_health.renewed); // one made again while started still waits for start()
    const qint64 now = monotonicUsec();
    const bool looked = now - m_tickedAt < 4 * qint64(tickUsec); // a held thread reads its replies after this
    m_tickedAt = now;
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        if (!m_health.ready) {
            m_health.ready = true;
            m_health.askedAt = now;
            m_health.readyAt = now;
        }
        if (m_health.renewed && !m_health.renewTold && now - m_health.readyAt >= renewSettleUsec) {
            m_health.renewTold = true;
            QMetaObject::invokeMethod(this, &SoundDevice::renewed, Qt::QueuedConnection);
        }
        if (m_health.refused || (looked && standsUnanswered(now))) {
            renewStream();
            return;
        }
        if (m_wanted && m_held && !m_health.renewed)
            resume();
        noticeTaken(); // libpulse's own timing updates come without a callback
        fill();
        askTiming();
    }
}

bool SoundDevice::standsUnanswered(qint64 now) const
{
    return m_health.asking > 0 && now - m_health.askedAt > renewUsec;
}

void SoundDevice::askTiming()
{
    if (m_health.asking >= mostAsking)
        return;
    pa_operation *op = pa_stream_update_timing_info(m_stream, &SoundDevice::onTiming, this);
    if (!op) {
        m_health.refused = true;
        return;
    }
    if (m_health.asking++ == 0)
        m_health.askedAt = monotonicUsec();
    pa_operation_unref(op);
}

void SoundDevice::renewStream()
{
    const bool renewed = m_health.renewed || m_wanted;
    dropStream();
    openStream(renewed);
}

void SoundDevice::connectServer()
{
    m_retryAt = monotonicUsec() + retryUsec;
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "routereel");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "video");
    m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "routereel", props);
    m_cycleUnreported = false; // until this server says what it is
    pa_proplist_free(props);
    // No autospawn: a server the user stopped stays stopped.
    if (m_context && pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        dropServer();
}

void SoundDevice::dropServer()
{
    m_health.renewed = false; // a server found again is played to from the time it is found
    dropStream();
    if (!m_context)
        return;
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void SoundDevice::openStream(bool renewed)
{
    m_health = Health{.renewed = renewed};
    m_health.movedAt = m_health.repliedAt = monotonicUsec();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, uint32_t(m_rate), uint8_t(m_channels)};
    m_stream = pa_stream_new(m_context, "preview", &spec, nullptr);
    if (!m_stream)
        return;
    const auto bytes = [&](double seconds) { return uint32_t(pa_usec_to_bytes(pa_usec_t(seconds * 1e6), &spec)); };
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = bytes(bufferSeconds);
    attr.prebuf = bytes(startSeconds);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    pa_stream_set_write_callback(m_stream, &SoundDevice::onWritable, this);
    // Made held, and kept while the server is there: a new stream on a null sink at
    // rest waits for its next period, up to 2 s.
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE
                                         | PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED);
    m_held = true;
    m_playOut = PlayOut::no;
    m_base = -1;
    m_stoppedBase = -1;
    m_writtenSince = 0;
    m_readIndex = -1;
    m_cycleHeard.forgetCycle();
    m_cycleHeard.restart();
    if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
        dropStream();
}

void SoundDevice::dropStream()
{
    if (!m_stream)
        return;
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
    m_readIndex = -1;
}

// Drops what is queued and plays what the source gives from now on.
void SoundDevice::resume()
{
    unref(pa_stream_flush(m_stream, nullptr, nullptr));
    unref(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    askTiming();
    m_held = false;
    m_playOut = PlayOut::no;
    m_stoppedBase = -1;
    m_base = -1;
    m_writtenSince = 0;
    m_health.movedAt = m_health.repliedAt = monotonicUsec();
    m_health.drained = false;
    m_cycleHeard.restart();
    fill();
}

void SoundDevice::hold()
{
    m_stoppedBase = m_held ? -1 : m_base;
    unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
    unref(pa_stream_flush(m_stream, &SoundDevice::onHeldFlushed, this));
    m_held = true;
    m_playOut = PlayOut::no;
    m_base = -1;
    m_cycleHeard.restart();
}

void SoundDevice::fill()
{
    if (!m_stream || m_held || m_playOut == PlayOut::draining || pa_stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    const std::size_t frameBytes = sizeof(float) * std::size_t(m_channels);
    std::size_t bytes = pa_stream_writable_size(m_stream);
    if (bytes == std::size_t(-1) || bytes < frameBytes)
        return;
    void *data = nullptr;
    if (pa_stream_begin_write(m_stream, &data, &bytes) < 0 || !data)
        return;
    const qint64 got = m_source(static_cast<float *>(data), qint64(bytes / frameBytes));
    if (got > 0) {
        pa_stream_write(m_stream, data, std::size_t(got) * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        m_writtenSince += got * qint64(frameBytes);
    } else {
        pa_stream_cancel_write(m_stream);
        if (m_playOut == PlayOut::filling) {
            m_playOut = PlayOut::draining;
            unref(pa_stream_drain(m_stream, &SoundDevice::onDrained, this));
        }
    }
}

void SoundDevice::noticeTaken()
{
    const pa_timing_info *timing = pa_stream_get_timing_info(m_stream);
    if (!timing)
        return;
    // The server's write position is known again once a timing reply newer than
    // the flush came: what was written since lies past the start.
    if (m_wanted && m_base < 0 && !timing->write_index_corrupt)
        m_base = timing->write_index - m_writtenSince;
    if (timing->read_index_corrupt)
        return;
    // When the server made the reply: a stand is told by the server's replies, not
    // by how late this thread looks at them.
    const qint64 repliedAt = monotonicUsec() - qint64(pa_timeval_age(&timing->timestamp));
    const qint64 read = timing->read_index;
    // A flush has the sink give back what it read but has not played: the position
    // goes back, and moves on from there.
    m_readIndex = std::clamp<qint64>(m_readIndex, 0, std::max<qint64>(read, 0));
    if (read > m_readIndex) {
        // What was heard by the replies before the sink played silence lies that much ahead.
        if (m_cycleUnreported && standsLong())
            m_cycleHeard.silencePlayed();
        m_taken += (read - m_readIndex) / qint64(sizeof(float) * std::size_t(m_channels));
        m_readIndex = read;
        m_health.movedAt = std::max(m_health.movedAt, repliedAt);
    }
    if (repliedAt >= m_health.repliedAt)
        m_health.drained = !timing->write_index_corrupt && read >= timing->write_index;
    m_health.repliedAt = std::max(m_health.repliedAt, repliedAt);
    if (m_cycleUnreported && m_base >= 0)
        placeHeard(timing, repliedAt);
}

// The replies place the time heard on a server that leaves its cycles out.
void SoundDevice::placeHeard(const pa_timing_info *timing, qint64 repliedAt)
{
    const qint64 read = usecOf(std::max<qint64>(timing->read_index - m_base, 0));
    const qint64 stamp = qint64(timing->timestamp.tv_sec) * 1'000'000 + timing->timestamp.tv_usec;
    m_cycleHeard.place(read, qint64(timing->sink_usec), stamp, repliedAt);
}

qint64 SoundDevice::usecOf(qint64 bytes) const
{
    return qint64(pa_bytes_to_usec(uint64_t(bytes), pa_stream_get_sample_spec(m_stream)));
}

// The server took all that was written and its read position stood, by its replies,
// longer than its cycles take (one for the sink, one in the service's stream, a tick
// between replies): the sink plays silence, the source fell behind. A position that
// stands with samples queued is a longer cycle, or a server that stands.
bool SoundDevice::standsLong() const
{
    return m_health.drained
        && m_health.repliedAt - m_health.movedAt > 2 * m_cycleHeard.cycleUsec() + qint64(tickUsec);
}

void SoundDevice::tell(bool available)
{
    if (available == m_told)
        return;
    m_told = available;
    QMetaObject::invokeMethod(this, [this, available] {
        if (m_available == available)
            return;
        m_available = available;
        emit availableChanged(available);
    }, Qt::QueuedConnection);
}

} // namespace routereel
