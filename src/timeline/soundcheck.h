#pragma once

#include "media/soundreader.h"

#include <QString>
#include <QStringList>

#include <set>
#include <vector>

namespace routereel {

// Why a clip on the timeline plays silent, told once per file: each file's sound
// is checked as soon as it comes onto the timeline (device or not: waiting for it
// to be heard would leave a silent clip unexplained on a machine without sound),
// and what the reader meets while playing is told unless that file's was already.
// A clip that leaves the timeline and comes back is told again.
class SoundCheck {
public:
    // The messages, in the interface language, for the files new among `pieces`.
    QStringList check(const std::vector<SoundPiece> &pieces);
    // The messages for what the reader met, each file once.
    QStringList met(const QList<VideoReadError> &errors);

private:
    std::optional<QString> tell(const VideoReadError &error);

    std::set<QString> m_checked;  // paths
    std::set<QString> m_reported; // file names
};

} // namespace routereel
