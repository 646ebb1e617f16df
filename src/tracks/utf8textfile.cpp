#include "utf8textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace routereel::Utf8TextFile {

TrackResult<QString> read(const QString &path, qint64 maximumSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TrackLoadError::readFailed(file.errorString());
    return read(file, maximumSize);
}

TrackResult<QString> read(QIODevice &device, qint64 maximumSize)
{
    // Read until the device says it ends: a read cut short by a failing disk is not the end,
    // the failure shows on the next read. Bounded even for files that report no size (pipes).
    QByteArray bytes;
    constexpr qint64 chunk = 1 << 20;
    for (;;) {
        const qint64 want = std::min(chunk, maximumSize + 1 - bytes.size());
        if (want <= 0)
            return GPXServiceError::fileTooLarge;
        const qsizetype at = bytes.size();
        bytes.resize(at + want);
        const qint64 n = device.read(bytes.data() + at, want);
        if (n < 0)
            return TrackLoadError::readFailed(device.errorString());
        bytes.resize(at + n);
        if (n == 0)
            break;
    }
    if (auto text = decode(bytes))
        return std::move(*text);
    return TrackLoadError::foreign(
        QCoreApplication::translate("Utf8TextFile", "The file is not UTF-8 text."));
}

std::optional<QString> decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace routereel::Utf8TextFile
