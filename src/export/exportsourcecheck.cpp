#include "exportsourcecheck.h"

#include "timeline/libavinput.h"

#include <QException>
#include <QFileInfo>
#include <QSet>

#include <cmath>

namespace routereel::exportsourcecheck {

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
        } catch (const QException &) {
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

std::optional<ExportError> unusableSource(const QStringList &paths)
{
    QSet<QString> checked;
    for (const QString &path : paths) {
        if (checked.contains(path))
            continue;
        checked.insert(path);
        if (!QFileInfo::exists(path))
            return ExportError::sourceVideoMissing(path);
        // A file cut short since it was loaded would be padded with its last
        // picture and still be reported as a success.
        if (mediaFileEndsEarly(path))
            return ExportError::sourceVideoIncomplete(path);
    }
    return std::nullopt;
}

} // namespace routereel::exportsourcecheck
