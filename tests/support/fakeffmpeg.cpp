#include "fakeffmpeg.h"

#include <QFile>

namespace testsupport {

QString shellQuote(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool writeFakeFfmpeg(const QString &path, const FakeFfmpegSpec &spec)
{
    QString script = QStringLiteral("#!/bin/sh\n");
    if (!spec.callLog.isEmpty())
        script += QStringLiteral("echo \"$*\" >> %1\n").arg(shellQuote(spec.callLog));
    script += QStringLiteral("if [ \"$1\" = \"-version\" ]; then\n");
    if (!spec.requiredLibraryPath.isEmpty()) {
        script += QStringLiteral("  case \"$LD_LIBRARY_PATH\" in %1*) ;; *) exit 3 ;; esac\n")
                      .arg(shellQuote(spec.requiredLibraryPath));
    }
    script += QStringLiteral("  echo 'ffmpeg version fake'\n  exit %1\nfi\n").arg(spec.versionExit);
    script += QStringLiteral("if [ \"$2\" = \"-encoders\" ]; then\n  printf '%s' %1\n  exit %2\nfi\n")
                  .arg(shellQuote(spec.encoders), QString::number(spec.encodersExit));
    script += QStringLiteral("cat > /dev/null\nprintf '%s' %1 >&2\nexit %2\n")
                  .arg(shellQuote(spec.stderrText), QString::number(spec.runExit));

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(script.toUtf8());
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                               | QFile::ExeGroup);
}

} // namespace testsupport
