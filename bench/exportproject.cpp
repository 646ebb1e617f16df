// A saved project opened as the app opens it (read, version test, validation,
// apply, video restore) and exported with its own settings through the real
// queue and exporter, timed; raster map tiles from a loopback server.
#include "benchcommand.h"
#include "benchexport.h"
#include "headlessproject.h"

#include "export/exportshutdown.h"

#include <QFileInfo>

#include <cstdio>

namespace routereel::bench {
namespace {

int run(const QStringList &args)
{
    ExportRunOptions options;
    QStringList positional;
    for (qsizetype k = 0; k < args.size(); ++k) {
        const QString &a = args.at(k);
        if (a == QStringLiteral("--tiles") && k + 1 < args.size())
            options.tiles = args.at(++k);
        else if (a == QStringLiteral("--compare"))
            options.compare = true;
        else
            positional << a;
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: export-project PROJECT.rrl OUTPUT [--tiles URL] [--compare]\n");
        return 2;
    }
    const QString project = QFileInfo(positional.at(0)).absoluteFilePath();
    const QUrl output = QUrl::fromLocalFile(QFileInfo(positional.at(1)).absoluteFilePath());

    // As the app starts: leftovers of a killed run swept, SIGTERM and SIGINT cancel the export.
    ExportShutdown::prepareProcess();
    // The project's widget settings are applied to settings of this run, not the user's.
    const BenchSettings settings;
    HeadlessProjectWindow window;
    auto opened = openProjectForExport(window, project, output);
    if (const auto *message = std::get_if<QString>(&opened)) {
        // The alert shows one line; the whole text is in the window's log.
        QString detail;
        for (const LogEntry &entry : window.log.entries()) {
            if (entry.level == LogEntry::Level::error && entry.title == *message) {
                detail = entry.detail;
                break;
            }
        }
        return printError(*message, detail);
    }
    return runExport(std::get<ExportTask>(opened), options);
}

const bool registered = registerCommand("export-project", "PROJECT.rrl OUTPUT [--tiles URL] [--compare]", run);

} // namespace
} // namespace routereel::bench
