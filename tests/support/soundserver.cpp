#include "soundserver.h"

#include "sinkmonitor.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <iostream>
#include <utility>

namespace testsupport {

SoundServer::SoundServer(Latency latency, Kind kind)
    : m_dir(QDir::tempPath() + QStringLiteral("/routereel-sound-XXXXXX")), m_latency(latency), m_kind(kind)
{
    m_hadPrevious = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", address().toLocal8Bit());
    if (latencyMsec() > 0) {
        m_hadPreviousLatency = qEnvironmentVariableIsSet("PULSE_LATENCY_MSEC");
        m_previousLatency = qgetenv("PULSE_LATENCY_MSEC");
        qputenv("PULSE_LATENCY_MSEC", QByteArray::number(latencyMsec()));
    }
    // Kept for a start that fails: its words say why.
    const std::pair<QProcess *, const char *> logs[] = {{&m_process, "service"}, {&m_graph, "graph"}, {&m_session, "session"}};
    for (const auto &[p, name] : logs) {
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->setStandardOutputFile(m_dir.filePath(QString::fromLatin1(name) + QStringLiteral(".log")), QIODevice::Append);
    }
}

SoundServer::~SoundServer()
{
    stop();
    if (m_hadPrevious)
        qputenv("PULSE_SERVER", m_previous);
    else
        qunsetenv("PULSE_SERVER");
    if (latencyMsec() > 0) {
        if (m_hadPreviousLatency)
            qputenv("PULSE_LATENCY_MSEC", m_previousLatency);
        else
            qunsetenv("PULSE_LATENCY_MSEC");
    }
}

int SoundServer::latencyMsec() const
{
    return m_latency == Latency::oneSecond ? 1000 : m_latency == Latency::fifthOfASecond ? 200 : 0;
}

SoundServer::Latency SoundServer::runLatency()
{
    return qgetenv("ROUTEREEL_SOUND_LATENCY") == "1s" ? Latency::oneSecond : Latency::usual;
}

SoundServer::Kind SoundServer::runKind()
{
    return qgetenv("ROUTEREEL_SOUND_SERVER") == "pipewire" ? Kind::pipeWire : Kind::pulseAudio;
}

bool SoundServer::installed(Kind kind)
{
    const QStringList programs = kind == Kind::pipeWire
        ? QStringList{QStringLiteral("pipewire"), QStringLiteral("wireplumber"), QStringLiteral("pipewire-pulse"),
                      QStringLiteral("pactl"), QStringLiteral("pw-metadata")}
        : QStringList{QStringLiteral("pulseaudio")};
    return std::all_of(programs.begin(), programs.end(),
                       [](const QString &p) { return !QStandardPaths::findExecutable(p).isEmpty(); });
}

QString SoundServer::address() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

bool SoundServer::start()
{
    if (isRunning())
        return true;
    stop(); // what is left of a server that went away in part
    if (!m_dir.isValid() || !installed(m_kind))
        return false;
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(m_dir.filePath(QStringLiteral("native")));
    // Every file the server writes (cookie, state, runtime) stays in the temporary folder.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.filePath(QStringLiteral("state")));
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("PIPEWIRE_REMOTE"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // With a display the server would also publish itself on it, and several servers
    // of parallel tests would meet there.
    env.remove(QStringLiteral("DISPLAY"));
    for (QProcess *p : {&m_process, &m_graph, &m_session})
        p->setProcessEnvironment(env);
    if (m_kind == Kind::pipeWire ? startPipeWire() : startPulseAudio())
        return true;
    stop();
    return false;
}

bool SoundServer::startPulseAudio()
{
    // -n: none of the system's modules, only a null sink and our socket. As root the
    // server warns that it is not meant for root, and runs.
    QString sink = QStringLiteral("module-null-sink");
    if (m_latency != Latency::usual)
        sink += QStringLiteral(" norewinds=1");
    if (m_sinkRate > 0)
        sink += QStringLiteral(" rate=%1").arg(m_sinkRate);
    m_process.start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                     QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-module-loading=no"),
                     QStringLiteral("--log-target=stderr"),
                     QStringLiteral("--load=") + sink,
                     QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1")
                         .arg(m_dir.filePath(QStringLiteral("native")))});
    if (m_process.waitForStarted(10'000) && waitForSocket(m_dir.filePath(QStringLiteral("native")), m_process))
        return true;
    tellFailure(QStringLiteral("pulseaudio's socket"));
    return false;
}

namespace {

bool writeFile(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

// The user's and the system's devices stay out: a null sink is the only output, and
// the session manager leaves out what needs a D-Bus session (portals, Bluetooth,
// logind), which tests run without.
bool SoundServer::startPipeWire()
{
    const QString config = m_dir.filePath(QStringLiteral("config"));
    const bool written =
        writeFile(config + QStringLiteral("/pipewire/pipewire.conf.d/null-sink.conf"),
                  QStringLiteral("context.objects = [ { factory = adapter args = { factory.name = support.null-audio-sink"
                                 " node.name = \"null\" media.class = \"Audio/Sink\" object.linger = true"
                                 " audio.position = [ FL FR ] monitor.channel-volumes = true } } ]\n"))
        && writeFile(config + QStringLiteral("/pipewire/pipewire-pulse.conf.d/socket.conf"),
                     QStringLiteral("pulse.properties = { server.address = [ \"%1\" ] }\n").arg(address()))
        // The sink's monitor reads in small pieces but leaves the graph's cycle as
        // the player alone has it.
        && writeFile(config + QStringLiteral("/pipewire/pipewire-pulse.conf.d/monitor.conf"),
                     QStringLiteral("pulse.rules = [ { matches = [ { application.name = \"%1\" } ]"
                                    " actions = { update-props = { pulse.min.quantum = %2/%3 } } } ]\n")
                         .arg(QString::fromLatin1(SinkMonitor::monitorName))
                         .arg(SinkMonitor::longestCycleFrames)
                         .arg(SinkMonitor::rate))
        && writeFile(config + QStringLiteral("/wireplumber/main.lua.d/51-null-sink-only.lua"),
                     QStringLiteral("alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
                                    "libcamera_monitor.enabled = false\n"
                                    "default_access.properties[\"enable-flatpak-portal\"] = false\n"))
        && writeFile(config + QStringLiteral("/wireplumber/bluetooth.lua.d/51-null-sink-only.lua"),
                     QStringLiteral("bluez_monitor.enabled = false\n"));
    if (!written)
        return false;
    m_graph.start(QStringLiteral("pipewire"), {});
    if (!m_graph.waitForStarted(10'000) || !waitForSocket(m_dir.filePath(QStringLiteral("runtime/pipewire-0")), m_graph)) {
        tellFailure(QStringLiteral("pipewire's socket"));
        return false;
    }
    m_session.start(QStringLiteral("wireplumber"), {});
    m_process.start(QStringLiteral("pipewire-pulse"), {});
    if (!m_session.waitForStarted(10'000) || !m_process.waitForStarted(10'000)
        || !waitForSocket(m_dir.filePath(QStringLiteral("native")), m_process)) {
        tellFailure(QStringLiteral("pipewire-pulse's socket"));
        return false;
    }
    // Streams play once the session manager has made the null sink the default. On a
    // busy machine that can take long; a minute is for one that never does.
    const QDeadlineTimer deadline(60'000);
    QString answer;
    int asked = 0;
    while (!deadline.hasExpired() && isRunning() && m_session.state() != QProcess::NotRunning) {
        QProcess pactl;
        QProcessEnvironment env = m_process.processEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), address());
        pactl.setProcessEnvironment(env);
        pactl.setProcessChannelMode(QProcess::MergedChannels);
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("get-default-sink")});
        ++asked;
        const bool answered = pactl.waitForFinished(5'000);
        answer = answered ? QString::fromLocal8Bit(pactl.readAll().trimmed()) : QStringLiteral("(no answer in 5 s)");
        if (answer == QLatin1String("null"))
            return true;
        if (pactl.state() != QProcess::NotRunning) {
            pactl.kill();
            pactl.waitForFinished(5'000);
        }
        QThread::msleep(50);
    }
    tellFailure(QStringLiteral("the null sink as the default: asked %1 times, last answer \"%2\"%3")
                    .arg(asked)
                    .arg(answer, m_session.state() == QProcess::NotRunning ? QStringLiteral(", wireplumber ended")
                                                                           : QString()));
    return false;
}

void SoundServer::tellFailure(const QString &step) const
{
    std::cerr << "[ sound server ] not started: no " << step.toStdString() << '\n';
    for (const char *name : {"service", "graph", "session"}) {
        QFile log(m_dir.filePath(QString::fromLatin1(name) + QStringLiteral(".log")));
        if (!log.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        for (qsizetype k = std::max<qsizetype>(lines.size() - 12, 0); k < lines.size(); ++k)
            std::cerr << "  " << name << ": " << lines[k].toStdString() << '\n';
    }
}

bool SoundServer::waitForSocket(const QString &path, const QProcess &process)
{
    const QDeadlineTimer deadline(60'000);
    while (!deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(500))
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool SoundServer::forceQuantum(int frames)
{
    if (m_kind != Kind::pipeWire || !isRunning())
        return false;
    QProcess metadata;
    metadata.setProcessEnvironment(m_graph.processEnvironment());
    metadata.setProcessChannelMode(QProcess::MergedChannels);
    metadata.start(QStringLiteral("pw-metadata"), {QStringLiteral("-n"), QStringLiteral("settings"), QStringLiteral("0"),
                                                   QStringLiteral("clock.force-quantum"), QString::number(frames)});
    if (!metadata.waitForFinished(5'000)) {
        metadata.kill();
        metadata.waitForFinished(5'000);
        return false;
    }
    return metadata.exitStatus() == QProcess::NormalExit && metadata.exitCode() == 0;
}

void SoundServer::stand(bool standing)
{
    if (isRunning())
        ::kill(pid_t(m_process.processId()), standing ? SIGSTOP : SIGCONT);
}

void SoundServer::stop()
{
    // The service first, so that clients see the server go as one that crashed.
    for (QProcess *p : {&m_process, &m_session, &m_graph}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        p->kill();
        p->waitForFinished(10'000);
    }
}

} // namespace testsupport
