#pragma once

#include <QString>

#include <optional>

namespace routereel {

// Why a sound stream of `path` cannot be decoded, or its channels not mixed to
// stereo (SoundLayout): the first audio stream, or each of them with
// `everyStream`. None when all open, or when the file does not (whoever reads it
// tells what is wrong with it). The preview and the export ask
// the same question, so a clip is silent on neither road without a word.
std::optional<QString> soundDecodeFailure(const QString &path, bool everyStream);

} // namespace routereel
