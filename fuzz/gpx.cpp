#include "trackinvariants.h"

#include "tracks/gpxparser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return routereel::fuzz::checkXmlReader<routereel::GPXParser>(data, size);
}
