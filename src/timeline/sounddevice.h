#pragma once

#include "cycleheard.h"

#include <QObject>

#include <functional>
#include <optional>

struct pa_context;
struct pa_mainloop_api;
struct pa_server_info;
struct pa_timing_info;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace routereel {

// The sound server's output, kept through the server's coming and going: it
// connects to the PulseAudio server (also one that starts after the app, or comes
// back after it went away) and, while started, plays what its source gives. Qt's
// own PulseAudio engine tries once, 3 s after the server is lost, and never when
// there is none at launch, so the server is reached with libpulse here.
class SoundDevice : public QObject {
    Q_OBJECT
public:
    // Fills `out` with up to `frames` interleaved float frames, returns how many it
    // gave. Called on the server connection's thread.
    using Source = std::function<qint64(float *out, qint64 frames)>;

    SoundDevice(int sampleRate, int channels, Source source, QObject *parent = nullptr);
    ~SoundDevice() override;

    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    // A server is there to play to.
    bool isAvailable() const { return m_available; }
    // Plays from the source; what is heard is counted from here.
    void start();
    // Silence at once, nothing left queued. Returns the stop's number, which
    // stoppedAfter() names.
    quint64 stop();
    // Whether stoppedAfter() will tell where the last stop() left the sound: the
    // stream was playing and the server had told where it began.
    bool tellsStop() const;
    // The source's end: what it still gives and what the server holds are played out
    // before the stream is held, rather than dropped. Stops as stop() does.
    quint64 finish();
    // Seconds of the source, counted from start(), heard now (the output's latency
    // taken off); none while stopped, without a server, before the first sample is
    // heard, and while the server takes no samples.
    std::optional<double> heardSeconds() const;
    // The longest a sample written now may take to be heard: the stream's buffer and
    // the sink's own latency, as the server has set them.
    double latencySeconds() const;
    // Frames the server has taken from this output, over every start: a sign of life.
    qint64 framesTaken() const;

signals:
    void availableChanged(bool available);
    // The stream stopped answering (a server that stood) and was made again; while
    // started, the new one waits, silent, for the next start(): what the source
    // gives was meant for before the stand.
    void renewed();
    // Once a stop() has taken effect: the seconds of the source, counted from the
    // start() before it, that the server took in all (NaN: not known, or none). A server whose graph already
    // holds the next cycles plays them after the stop, beyond what was heard then.
    void stoppedAfter(quint64 stop, double seconds);

private:
    static void onTick(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self);
    static void onWritable(pa_stream *, size_t, void *self);
    static void onTiming(pa_stream *, int success, void *self);
    static void onServerInfo(pa_context *, const pa_server_info *info, void *self);
    static void onHeldFlushed(pa_stream *, int success, void *self);
    static void onRested(pa_stream *, int success, void *self);
    static void onDrained(pa_stream *, int success, void *self);
    void tick();
    void connectServer();
    void dropServer();
    void openStream(bool renewed);
    void dropStream();
    void renewStream();
    void askTiming();
    bool standsUnanswered(qint64 now) const;
    bool awaitsRest(pa_stream *stream, int success) const;
    void resume();
    void hold();
    void fill();
    void noticeTaken();
    void placeHeard(const pa_timing_info *timing, qint64 repliedAt);
    bool standsLong() const;
    // The stream's bytes as microseconds of sound.
    qint64 usecOf(qint64 bytes) const;
    void tell(bool available);

    const int m_rate;
    const int m_channels;
    const Source m_source;
    bool m_available = false; // on the main thread

    // Below: touched only with the loop's lock held.
    pa_threaded_mainloop *m_loop = nullptr;
    pa_time_event *m_timer = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    bool m_wanted = false;        // started
    bool m_held = true;           // the stream is corked
    // finish(): playing on, unwanted, until the source ran out and the server played
    // out what it took; then held.
    enum class PlayOut { no, filling, draining };
    PlayOut m_playOut = PlayOut::no;
    qint64 m_base = -1;           // the stream's byte at the last start; -1 until the server has told
    qint64 m_writtenSince = 0;    // bytes written since then
    bool m_told = false;          // the availability last told
    qint64 m_retryAt = 0;         // monotonic microseconds of the next connection attempt
    qint64 m_readIndex = -1;      // the server's read position in the stream, bytes
    qint64 m_taken = 0;           // frames
    qint64 m_tickedAt = 0;        // the loop's last look
    // How the stream answers; all of it made anew with the stream. Times are
    // monotonic microseconds.
    struct Health {
        bool ready = false;       // seen ready
        qint64 readyAt = 0;
        bool renewed = false;     // made again while started: waits for start()
        bool renewTold = false;   // renewed() was emitted for it
        int asking = 0;           // timing requests not yet answered
        qint64 askedAt = 0;       // of the oldest of them, about
        bool refused = false;     // libpulse takes no more: the stream can tell no time again
        qint64 movedAt = 0;       // the first reply that told the position's last move
        qint64 repliedAt = 0;     // the newest reply
        bool drained = false;     // by the newest reply, the server took all that was written
    };
    Health m_health;
    bool m_cycleUnreported = false; // PipeWire's PulseAudio service: the time heard is placed here
    quint64 m_stops = 0;          // stop() calls
    bool m_stopTells = false;     // the last stop() will be told
    qint64 m_stoppedBase = -1;    // m_base when the last stop() held a playing stream
    CycleHeard m_cycleHeard;
};

} // namespace routereel
