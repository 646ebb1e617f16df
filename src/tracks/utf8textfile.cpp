#include "utf8textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>

namespace routereel::Utf8TextFile {

TrackResult<QString> read(const QString &path, qint64 maximumSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return TrackLoadError::foreign(
            QCoreApplication::translate("Utf8TextFile", "Cannot read the file: %1").arg(file.errorString()));
    }
    // Bounded even for files that report no size (pipes, devices).
    const QByteArray bytes = file.read(maximumSize + 1);
    if (bytes.size() > maximumSize)
        return GPXServiceError::fileTooLarge;
    if (file.error() != QFileDevice::NoError) {
        return TrackLoadError::foreign(
            QCoreApplication::translate("Utf8TextFile", "Cannot read the file: %1").arg(file.errorString()));
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
