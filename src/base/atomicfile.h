#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace routereel {

// Replaces the file at `path` by `bytes` so that it holds either its earlier
// content or all of `bytes`, never a part: the bytes go to a temporary file in
// the same folder, every write is checked and synced, and only then is it
// renamed over the target. On failure the target is untouched, the temporary
// file is gone and the system's reason is returned ("No space left on device").
// A symbolic link is written through to its file. Safe from any thread.
std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace routereel
