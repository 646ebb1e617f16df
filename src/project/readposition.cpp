#include "readposition.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace routereel {

qint64 readPosition(const QStringList &paths)
{
    QSet<QByteArray> wanted;
    for (const QString &path : paths)
        wanted.insert(QFile::encodeName(QDir::cleanPath(path)));
    DIR *fds = ::opendir("/proc/self/fd");
    if (!fds)
        return 0;
    qint64 sum = 0;
    char link[4096];
    while (const dirent *entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        const QByteArray fdPath = QByteArrayLiteral("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(fdPath.constData(), link, sizeof link);
        if (length <= 0 || length >= ssize_t(sizeof link) || !wanted.contains(QByteArray(link, length)))
            continue;
        const QByteArray infoPath = QByteArrayLiteral("/proc/self/fdinfo/") + entry->d_name;
        if (FILE *info = std::fopen(infoPath.constData(), "re")) {
            char line[256];
            while (std::fgets(line, sizeof line, info)) {
                if (std::strncmp(line, "pos:", 4) == 0) {
                    sum += std::strtoll(line + 4, nullptr, 10) + 1;
                    break;
                }
            }
            std::fclose(info);
        }
    }
    ::closedir(fds);
    return sum;
}

} // namespace routereel
