#include "trackinvariants.h"

#include "tracks/igcparser.h"
#include "tracks/utf8textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace routereel;
    const auto text = Utf8TextFile::decode(QByteArrayView(data, qsizetype(size)));
    if (!text)
        return 0;
    QList<TrackPoint> points = IGCParser::parse(*text);
    for (const TrackPoint &p : points) {
        if (p.startsSegment || p.heartRate)
            std::abort();
    }
    fuzz::checkPoints(points, false);
    fuzz::checkStore(std::move(points));
    return 0;
}
