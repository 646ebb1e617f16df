#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A PulseAudio server with a null sink, of the test's own: its socket, state and
// runtime folders live in a temporary folder, and the process is told to use it
// (PULSE_SERVER) from the moment this is made, so that it never reaches the
// user's server nor starts one. Until start() there is no server there. It is
// PulseAudio itself or PipeWire's PulseAudio service, which many desktops run.
class SoundServer {
public:
    enum class Kind {
        pulseAudio,
        // PipeWire, its session manager and its PulseAudio service, with a null sink
        // named as PulseAudio's is.
        pipeWire,
    };
    enum class Latency {
        usual,
        // About 1 s, as Bluetooth headphones and network sinks have: the sink takes no
        // rewinds, so what it has taken plays out, and this process's streams ask for
        // 1 s (PULSE_LATENCY_MSEC) while this lives.
        oneSecond,
        // About 0.2 s and no rewinds either, as many Bluetooth headphones: drop-outs
        // there are heard soon after they happen.
        fifthOfASecond,
    };
    explicit SoundServer(Latency latency = runLatency(), Kind kind = runKind());
    // oneSecond where the run asks for it (ROUTEREEL_SOUND_LATENCY=1s, set by
    // routereel-with-sound --one-second), so that whole groups run again on such a sink.
    static Latency runLatency();
    // pipeWire where the run asks for it (ROUTEREEL_SOUND_SERVER=pipewire, set by
    // routereel-with-sound --pipewire).
    static Kind runKind();
    ~SoundServer(); // the server goes with it
    SoundServer(const SoundServer &) = delete;
    SoundServer &operator=(const SoundServer &) = delete;

    static bool installed(Kind kind = runKind());
    // The null sink's rate (PulseAudio only), before start(); 48 kHz otherwise.
    void setSinkRate(int hz) { m_sinkRate = hz; }
    // PipeWire only: the graph runs at `frames` a cycle from now on, whatever its
    // streams ask, as when another program forces it; 0 lets it choose again.
    bool forceQuantum(int frames);
    // Starts the server and waits (bounded) until it answers; false when it does not.
    bool start();
    // The server goes away at once, as a crashed one does.
    void stop();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // The server that answers stops answering (SIGSTOP), as one held by a busy
    // machine or a debugger, until it goes on (SIGCONT).
    void stand(bool standing);
    // What PULSE_SERVER holds.
    QString address() const;
    Kind kind() const { return m_kind; }

private:
    bool startPulseAudio();
    bool startPipeWire();
    bool waitForSocket(const QString &path, const QProcess &process);
    // Why a start failed, with the end of each program's output, on stderr.
    void tellFailure(const QString &step) const;
    // The streams' latency this process asks for while this lives; 0 for none.
    int latencyMsec() const;

    QTemporaryDir m_dir;
    QProcess m_process; // the one that answers PULSE_SERVER
    QProcess m_graph;   // PipeWire's own server
    QProcess m_session; // its session manager, which links streams to the sink
    const Latency m_latency;
    int m_sinkRate = 0;
    const Kind m_kind;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    QByteArray m_previousLatency;
    bool m_hadPreviousLatency = false;
};

} // namespace testsupport
