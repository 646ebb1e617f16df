#pragma once

#include "exporterror.h"

#include "timeline/videotimelinesnapshot.h"

#include <QStringList>

#include <optional>

namespace routereel {

// Probes every clip of an export's timeline again before anything is written: a
// file replaced since it was loaded would otherwise be padded with its last
// picture, or scaled from another size, and the export reported as a success.
// Reads files: never on the main thread.
namespace exportsourcecheck {

// Why `path` cannot be an export's clip before a byte of it is read: it is not
// there, or its folder answers an error (EIO, ENOTCONN, ESTALE ...), named as the
// system does. None when the file system finds it.
std::optional<ExportError> unreachableSource(const QString &path);
// The first of `paths` that unreachableSource() refuses, each asked on this thread
// (ExportSourceLook asks them off it, with a limit per call).
std::optional<ExportError> firstUnreachableSource(const QStringList &paths);
// A clip whose folder has not answered one call in the time the start check waits.
ExportError unansweredSource(const QString &path);

// The first clip, in source order, that no longer is the one loaded: a piece
// reaches past its present length by more than a frame, its picture size or
// rate changed, or it cannot be probed; one that cannot be read names the read
// error instead. None when every clip still fits.
std::optional<ExportError> changedSource(const VideoTimelineSnapshot &timeline);

// The first of `paths` that is gone, or, unless `timeline` holds it (changedSource
// reads those), ends before the data its index lists, or whose sound the export
// takes cannot be decoded: ffmpeg would fail on it in a cut piece, and copy it
// as it is from a clip read whole. A clip read whole gives every sound stream,
// a cut piece its first.
std::optional<ExportError> unusableSource(const QStringList &paths,
                                          const std::optional<VideoTimelineSnapshot> &timeline = std::nullopt);

// What tells a file's content has not changed without reading it: which file it
// is (device and inode), its size and modification time.
struct FileStamp {
    QString path;
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNanoseconds = 0;
    int error = 0;  // why it could not be stat'ed

    bool operator==(const FileStamp &) const = default;
};

// The stamps of `paths` and of `timeline`'s clips, each file once.
QList<FileStamp> stamps(const QStringList &paths, const std::optional<VideoTimelineSnapshot> &timeline);

// The first file whose stamp is no longer the one in `before`: ffmpeg may have
// read part of it as it was and part as it is, or past its new end. A file whose
// folder stopped answering names the read error.
std::optional<ExportError> changedSince(const QList<FileStamp> &before);

} // namespace exportsourcecheck

} // namespace routereel
