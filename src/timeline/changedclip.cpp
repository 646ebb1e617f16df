#include "changedclip.h"

#include "media/videotimelineerror.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>

#include <sys/stat.h>

namespace routereel {

namespace {

// A couple of frames: the media player ends some clips that much before their
// last picture, which a piece may still reach.
constexpr double lastPicturesCover = 0.1;

} // namespace

bool ChangedClip::noticeReplacement(const QUrl &url)
{
    Stamp now;
    struct stat info {};
    if (::stat(QFile::encodeName(url.toLocalFile()).constData(), &info) == 0)
        now = {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
    else if (errno != ENOENT && errno != ENOTDIR)
        return false; // a disk or share not answering tells nothing of a change
    const QString key = url.toString();
    const auto [it, added] = m_seen.try_emplace(key, now);
    if (added || it->second == now)
        return false;
    it->second = now;
    m_replaced.insert(key);
    return true;
}

bool ChangedClip::pastEnd(double wanted, double clipLength)
{
    return clipLength > 0 && wanted > clipLength + lastPicturesCover;
}

QString ChangedClip::loadError(const QUrl &url, const QString &detail)
{
    const QString title = VideoTimelineError::invalidVideo(url.fileName()).message();
    return detail.isEmpty() ? title : title + QLatin1Char('\n') + detail;
}

QString ChangedClip::pastEndError(const QUrl &url, double wanted, double clipLength)
{
    return loadError(url, QCoreApplication::translate("TimelinePlayer",
                                                      "The file changed since it was loaded: it now lasts %1 s, and "
                                                      "the piece shows it at %2 s.\n%3")
                              .arg(clipLength, 0, 'f', 3)
                              .arg(wanted, 0, 'f', 3)
                              .arg(url.toLocalFile()));
}

} // namespace routereel
