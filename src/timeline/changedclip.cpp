#include "changedclip.h"

#include "media/videotimelineerror.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include <sys/stat.h>

namespace routereel {

namespace {

// A couple of frames: the media player ends some clips that much before their
// last picture, which a piece may still reach.
constexpr double lastPicturesCover = 0.1;

} // namespace

struct ChangedClip::Asking {
    std::mutex lock;
    std::condition_variable answered;
    bool begun = false;
    std::chrono::steady_clock::time_point begunAt;
    bool done = false;
    bool compared = false; // its answer was taken
    int result = 0;
    int error = 0;
    struct stat info {};
};

bool ChangedClip::noticeReplacement(const QUrl &url)
{
    const QString key = url.toString();
    std::shared_ptr<Asking> &last = m_asking[key];
    if (last) {
        std::unique_lock guard(last->lock);
        if (!last->done)
            return false;  // this clip's last stat still stands: this one would too
        // A stat that answered after its limit (a busy machine) still tells what the
        // file was then: dropped, a file first seen only after it was replaced would
        // never count as replaced.
        if (!std::exchange(last->compared, true) && compare(key, *last))
            return true;
    }
    auto asking = std::make_shared<Asking>();
    last = asking;
    std::thread([asking, path = QFile::encodeName(url.toLocalFile())] {
        {
            std::lock_guard guard(asking->lock);
            asking->begun = true;
            asking->begunAt = std::chrono::steady_clock::now();
            asking->answered.notify_all();
        }
        struct stat info {};
        const int result = ::stat(path.constData(), &info);
        const int error = errno;
        std::lock_guard guard(asking->lock);
        asking->result = result;
        asking->error = error;
        asking->info = info;
        asking->done = true;
        asking->answered.notify_all();
    }).detach();
    std::unique_lock guard(asking->lock);
    // The limit runs from when the stat is made: a thread not yet given a core is
    // slow, not a share that does not answer.
    if (!asking->answered.wait_for(guard, threadStartLimit, [&] { return asking->begun; }))
        return false;
    if (!asking->answered.wait_until(guard, asking->begunAt + statLimit, [&] { return asking->done; }))
        return false;
    asking->compared = true;
    return compare(key, *asking);
}

// Called with the stat's lock held.
bool ChangedClip::compare(const QString &key, const Asking &asking)
{
    Stamp now;
    const struct stat &info = asking.info;
    if (asking.result == 0)
        now = {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
    else if (asking.error != ENOENT && asking.error != ENOTDIR)
        return false; // a disk or share not answering tells nothing of a change
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
