#include "soundcheck.h"

#include "media/sounddecodecheck.h"

#include <QFileInfo>

namespace routereel {

QStringList SoundCheck::check(const std::vector<SoundPiece> &pieces)
{
    std::set<QString> paths, names;
    for (const SoundPiece &piece : pieces) {
        paths.insert(piece.path);
        names.insert(QFileInfo(piece.path).fileName());
    }
    std::erase_if(m_checked, [&](const QString &path) { return !paths.count(path); });
    std::erase_if(m_reported, [&](const QString &name) { return !names.count(name); });
    QStringList messages;
    for (const SoundPiece &piece : pieces) {
        if (piece.path.isEmpty() || !m_checked.insert(piece.path).second)
            continue;
        if (const auto failure = soundDecodeFailure(piece.path, false)) {
            if (const auto message = tell(VideoReadError(QFileInfo(piece.path).fileName(), *failure)))
                messages << *message;
        }
    }
    return messages;
}

QStringList SoundCheck::met(const QList<VideoReadError> &errors)
{
    QStringList messages;
    for (const VideoReadError &error : errors) {
        if (const auto message = tell(error))
            messages << *message;
    }
    return messages;
}

std::optional<QString> SoundCheck::tell(const VideoReadError &error)
{
    if (!m_reported.insert(error.fileName()).second)
        return std::nullopt;
    return error.message();
}

} // namespace routereel
