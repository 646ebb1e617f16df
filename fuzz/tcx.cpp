#include "trackinvariants.h"

#include "tracks/tcxparser.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace routereel;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    auto result = TCXParser().parse(&buffer);
    if (!result) {
        if (result.error().message().isEmpty())
            std::abort();
        return 0;
    }
    fuzz::checkPoints(result.value(), true);
    fuzz::checkStore(std::move(result).value());
    return 0;
}
