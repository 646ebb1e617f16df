#include "childprocesses.h"

#include <QDir>
#include <QFile>

#include <sys/syscall.h>

namespace testsupport {

QList<qint64> ffmpegChildren(qint64 pid)
{
    QList<qint64> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(ffmpeg)") && rest.size() > 1 && rest.at(1).toLongLong() == pid)
            found << entry.toLongLong();
    }
    return found;
}

bool waitsOnItsInput(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile call(tasks + QLatin1Char('/') + task + QStringLiteral("/syscall"));
        if (!call.open(QIODevice::ReadOnly))
            continue;
        // "number arg1 ...": the call the thread is blocked in.
        const QList<QByteArray> fields = call.readAll().trimmed().split(' ');
        bool ok = false;
        if (fields.size() > 1 && fields.at(0).toLong(&ok) == SYS_read && ok && fields.at(1).toLongLong(&ok, 16) == 0
            && ok)
            return true;
    }
    return false;
}

} // namespace testsupport
