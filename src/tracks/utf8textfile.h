#pragma once

#include "trackresult.h"

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <optional>

namespace routereel {

// Text files that must be UTF-8 as a whole (IGC logs).
namespace Utf8TextFile {

// The whole file as text; GPXParserError::readFailed with the file system's wording when it
// cannot be opened or a read fails, a message of our own when it is not UTF-8 or larger than
// `maximumSize` bytes.
TrackResult<QString> read(const QString &path, qint64 maximumSize);
// The same from a device open for reading, from its current position.
TrackResult<QString> read(QIODevice &device, qint64 maximumSize);

// Nothing when `bytes` is not well-formed UTF-8. A leading byte-order mark is dropped.
std::optional<QString> decode(QByteArrayView bytes);

} // namespace Utf8TextFile
} // namespace routereel
