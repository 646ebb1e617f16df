#include "trackinvariants.h"

#include "tracks/igcparser.h"
#include "tracks/utf8textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace routereel;
    // Read as the store reads a file: chunk by chunk to the device's end.
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const auto text = Utf8TextFile::read(buffer, GPXService::maximumFileSize);
    if (!text) {
        if (text.error().message().isEmpty())
            std::abort();
        return 0;
    }
    if (text.value() != Utf8TextFile::decode(bytes))
        std::abort();
    QList<TrackPoint> points = IGCParser::parse(text.value());
    for (const TrackPoint &p : points) {
        if (p.startsSegment || p.heartRate)
            std::abort();
    }
    fuzz::checkPoints(points, false);
    fuzz::checkStore(std::move(points));
    return 0;
}
