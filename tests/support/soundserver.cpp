#include "soundserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace testsupport {

SoundServer::SoundServer(Latency latency)
    : m_dir(QDir::tempPath() + QStringLiteral("/routereel-sound-XXXXXX")), m_latency(latency)
{
    m_hadPrevious = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", address().toLocal8Bit());
    if (m_latency == Latency::oneSecond) {
        m_hadPreviousLatency = qEnvironmentVariableIsSet("PULSE_LATENCY_MSEC");
        m_previousLatency = qgetenv("PULSE_LATENCY_MSEC");
        qputenv("PULSE_LATENCY_MSEC", "1000");
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

SoundServer::~SoundServer()
{
    stop();
    if (m_hadPrevious)
        qputenv("PULSE_SERVER", m_previous);
    else
        qunsetenv("PULSE_SERVER");
    if (m_latency == Latency::oneSecond) {
        if (m_hadPreviousLatency)
            qputenv("PULSE_LATENCY_MSEC", m_previousLatency);
        else
            qunsetenv("PULSE_LATENCY_MSEC");
    }
}

SoundServer::Latency SoundServer::runLatency()
{
    return qgetenv("ROUTEREEL_SOUND_LATENCY") == "1s" ? Latency::oneSecond : Latency::usual;
}

bool SoundServer::installed()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty();
}

QString SoundServer::address() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

bool SoundServer::start()
{
    if (isRunning())
        return true;
    if (!m_dir.isValid() || !installed())
        return false;
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(m_dir.filePath(QStringLiteral("native")));
    // Every file the server writes (cookie, state, runtime) stays in the temporary folder.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.filePath(QStringLiteral("state")));
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // With a display the server would also publish itself on it, and several servers
    // of parallel tests would meet there.
    env.remove(QStringLiteral("DISPLAY"));
    m_process.setProcessEnvironment(env);
    // -n: none of the system's modules, only a null sink and our socket. As root the
    // server warns that it is not meant for root, and runs.
    m_process.start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                     QStringLiteral("--use-pid-file=no"), QStringLiteral("--disallow-module-loading=no"),
                     QStringLiteral("--log-target=stderr"),
                     m_latency == Latency::oneSecond ? QStringLiteral("--load=module-null-sink norewinds=1")
                                                     : QStringLiteral("--load=module-null-sink"),
                     QStringLiteral("--load=module-native-protocol-unix socket=%1 auth-anonymous=1")
                         .arg(m_dir.filePath(QStringLiteral("native")))});
    if (!m_process.waitForStarted(10'000))
        return false;
    const QDeadlineTimer deadline(15'000);
    while (!deadline.hasExpired() && isRunning()) {
        QLocalSocket socket;
        socket.connectToServer(m_dir.filePath(QStringLiteral("native")));
        if (socket.waitForConnected(500))
            return true;
        QThread::msleep(20);
    }
    stop();
    return false;
}

void SoundServer::stop()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(10'000);
}

} // namespace testsupport
