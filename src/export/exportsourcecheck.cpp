#include "exportsourcecheck.h"

#include "media/libavinput.h"
#include "media/sounddecodecheck.h"
#include "media/videoreaderror.h"

#include <QCoreApplication>
#include <QException>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

namespace routereel::exportsourcecheck {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isNotThere(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// libav words a failed read as the system does: those that the file system gives
// for a drive or share that stops answering are no sign of a changed file.
bool isReadErrorReason(const QString &reason)
{
    for (const int error : {EIO, ENOTCONN, ESTALE, ENXIO, ENODEV, ENOMEDIUM, EREMOTEIO, ETIMEDOUT, EHOSTDOWN,
                            EHOSTUNREACH, ENETDOWN, ENETUNREACH, ECONNRESET, ECONNABORTED, EACCES, EPERM}) {
        if (reason == systemReason(error))
            return true;
    }
    return false;
}

} // namespace

std::optional<ExportError> unreachableSource(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return std::nullopt;
    const int error = errno;
    if (isNotThere(error))
        return ExportError::sourceVideoMissing(path);
    return ExportError::sourceVideoUnreadable(path, systemReason(error));
}

std::optional<ExportError> firstUnreachableSource(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (auto unreachable = unreachableSource(path))
            return unreachable;
    }
    return std::nullopt;
}

ExportError unansweredSource(const QString &path)
{
    return ExportError::sourceVideoUnreadable(path, systemReason(ETIMEDOUT));
}

std::optional<ExportError> changedSource(const VideoTimelineSnapshot &timeline)
{
    for (const VideoSource &loaded : timeline.sources) {
        std::optional<double> reach;
        for (const VideoSegment &segment : timeline.segments) {
            if (segment.sourceID == loaded.id)
                reach = std::max(reach.value_or(0.0), segment.sourceEnd);
        }
        if (!reach)
            continue;
        const QString path = loaded.url.toLocalFile();
        VideoSource now;
        try {
            now = VideoSource::probe(loaded.url, loaded.id);
        } catch (const VideoReadError &error) {
            if (auto unreachable = unreachableSource(path))
                return unreachable;
            if (isReadErrorReason(error.reason()))
                return ExportError::sourceVideoUnreadable(path, error.reason());
            return error.reason() == endsEarlyReason() ? ExportError::sourceVideoIncomplete(path)
                                                       : ExportError::sourceVideoChanged(path);
        } catch (const QException &) {
            if (auto unreachable = unreachableSource(path))
                return unreachable;
            return ExportError::sourceVideoChanged(path);
        }
        // A frame's worth is padded with the last picture, as a clip whose picture
        // ends a little before its sound always is.
        const double frame = 1.0 / now.fps;
        if (*reach > now.duration + frame + 1e-6 || now.resolution != loaded.resolution
            || std::fabs(now.fps - loaded.fps) > 1e-6)
            return ExportError::sourceVideoChanged(path);
    }
    return std::nullopt;
}

namespace {

// Whether the export reads the clip whole, its sound as stored (mapped or copied
// stream by stream), rather than as pieces cut through the filter graph.
bool readsWhole(const std::optional<VideoTimelineSnapshot> &timeline)
{
    if (!timeline)
        return true;
    const VideoTimelineSnapshot shifted = timeline->shiftedToZero();
    if (!shifted.singleFullSource())
        return false;
    const VideoSource *whole = shifted.sourceFor(shifted.segments.first().sourceID);
    return whole && whole->pixelAspect == 1.0;
}

} // namespace

std::optional<ExportError> unusableSource(const QStringList &paths, const std::optional<VideoTimelineSnapshot> &timeline)
{
    // The timeline's clips are probed again by changedSource, which tells a cut-short file too.
    QSet<QString> probedLater;
    if (timeline) {
        for (const VideoSegment &segment : timeline->segments) {
            if (const VideoSource *source = timeline->sourceFor(segment.sourceID))
                probedLater.insert(source->url.toLocalFile());
        }
    }
    const bool whole = readsWhole(timeline);
    QSet<QString> checked;
    for (const QString &path : paths) {
        if (checked.contains(path))
            continue;
        checked.insert(path);
        if (auto unreachable = unreachableSource(path))
            return unreachable;
        // A file cut short since it was loaded would be padded with its last
        // picture and still be reported as a success.
        if (!probedLater.contains(path) && mediaFileEndsEarly(path))
            return ExportError::sourceVideoIncomplete(path);
        if (const auto failure = soundDecodeFailure(path, whole))
            return ExportError::sourceSoundUndecodable(path, *failure);
    }
    return std::nullopt;
}

namespace {

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
    stamp.path = path;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        stamp.error = errno;
        return stamp;
    }
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modifiedNanoseconds = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return stamp;
}

} // namespace

QList<FileStamp> stamps(const QStringList &paths, const std::optional<VideoTimelineSnapshot> &timeline)
{
    QStringList all = paths;
    if (timeline) {
        for (const VideoSegment &segment : timeline->segments) {
            if (const VideoSource *source = timeline->sourceFor(segment.sourceID))
                all.append(source->url.toLocalFile());
        }
    }
    all.removeDuplicates();
    QList<FileStamp> result;
    for (const QString &path : all)
        result.append(stampOf(path));
    return result;
}

std::optional<ExportError> changedSince(const QList<FileStamp> &before)
{
    for (const FileStamp &stamp : before) {
        const FileStamp now = stampOf(stamp.path);
        if (now == stamp)
            continue;
        if (!now.exists && !isNotThere(now.error))
            return ExportError::sourceVideoUnreadable(stamp.path, systemReason(now.error));
        return ExportError::sourceVideoChangedDuringExport(stamp.path);
    }
    return std::nullopt;
}

} // namespace routereel::exportsourcecheck
