#include "videorestoretask.h"

namespace routereel {

VideoRestoreTask::VideoRestoreTask(QList<Reference> references, QUuid generation,
                                   std::optional<QList<VideoSegment>> savedSegments, double playheadTime,
                                   QObject *parent)
    : QObject(parent),
      references(std::move(references)),
      generation(generation),
      savedSegments(std::move(savedSegments)),
      playheadTime(playheadTime)
{
}

} // namespace routereel
