// A saved project opened as the app opens it (read, version test, validation,
// apply, video restore) and exported with its own settings through the real
// queue and exporter, timed; map tiles from a loopback server (with --web-maps
// an "OSM" project's maps through the app's web-map pages).
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
        if (!takeRunOption(args, k, options))
            positional << args.at(k);
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: export-project PROJECT.rrl OUTPUT %s\n", runOptionsUsage);
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

const bool registered = registerCommand("export-project",
                                        "PROJECT.rrl OUTPUT [--tiles URL] [--web-maps] [--map-service URL|silent] [--compare] [--pairs N]  "
                                        "(--web-maps: an \"OSM\" project's maps through the web pages; xvfb-run)",
                                        run);

} // namespace
} // namespace routereel::bench
