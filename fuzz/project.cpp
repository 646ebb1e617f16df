// Project reader: any bytes either fail with a fault or give a document that
// validates without crashing and survives a write and a second read unchanged.
#include "project/projectdocument.h"

#include <cstdint>
#include <cstdlib>

using namespace routereel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ProjectCodingError error;
    const auto document = ProjectDocument::decode(bytes, &error);
    if (!document) {
        if (error.message().isEmpty())
            abort();
        return 0;
    }
    (void)document->validate();
    for (auto style : {ProjectDocument::Style::saved, ProjectDocument::Style::session}) {
        const auto written = document->encode(style);
        if (!written)
            abort();  // a read document holds only finite numbers
        const auto reread = ProjectDocument::decode(*written);
        if (!reread || !(*reread == *document))
            abort();
    }
    return 0;
}
