#include "testenvironment.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

void setUpIsolatedTestEnvironment()
{
    static QTemporaryDir root(QDir::tempPath() + QStringLiteral("/routereel-test-XXXXXX"));
    const QString base = root.path();
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = base + QLatin1Char('/') + QLatin1String(var);
        QDir().mkpath(dir);
        qputenv(var, dir.toLocal8Bit());
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = base + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    // No sound server unless the run brings its own (routereel-with-sound, SoundServer):
    // tests never play through the machine's speakers, and "without a device" is that.
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        qputenv("PULSE_SERVER", ("unix:" + base + QStringLiteral("/no-sound-server")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
