#pragma once
// What the export subcommands share: the loopback tile server, settings of
// their own, one export through the real queue and its line of figures.

#include "export/exporttask.h"
#include "support/loopbackhttpserver.h"
#include "support/loopbackmapservice.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>
#include <optional>

namespace routereel::bench {

// Street-like PNG tiles for any tile path (the same path gets the same tile),
// served on a thread of its own after a fixed latency.
class BenchTileServer {
public:
    explicit BenchTileServer(int latencyMs = 0);
    ~BenchTileServer();
    QUrl url() const;
    int requests() const;

private:
    std::unique_ptr<testsupport::LoopbackHttpServer> m_server;
};

// Points the user's settings at an empty folder for the life of the run: the
// figures do not depend on the user's widget settings, and an opened project
// does not overwrite them.
class BenchSettings {
public:
    BenchSettings();
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
};

struct ExportRunOptions {
    QString tiles;         // tile server; empty: a loopback one
    bool compare = false;  // also time the reference encode
    // OSM maps through the app's web-map pages, style and tiles from a loopback
    // map service (needs a display: xvfb-run); otherwise raster tiles only.
    bool webMaps = false;
    // Every map service (style and tiles) at this address, as the window exports:
    // its web pages and an empty tile cache. "silent": a loopback server that
    // takes connections and never answers. For exports without a reachable service.
    QString mapService;
    int pairs = 1;  // exports (each followed by its reference when comparing) in this run
    std::optional<int> mapPages;  // pages capturing a turning web map; none: the app's own choice
};

// Reads the options the export subcommands share; false when `args[k]` is none of them.
bool takeRunOption(const QStringList &args, qsizetype &k, ExportRunOptions &options);
inline constexpr const char *runOptionsUsage
    = "[--tiles URL] [--web-maps] [--map-service URL|silent] [--compare] [--pairs N] [--map-pages N]";

// Runs `task` through the real queue and exporter and prints one JSON line of
// figures and the outcome's "message"; the exit code of the subcommand.
int runExport(const ExportTask &task, const ExportRunOptions &options);

// Prints {"error": message, "message": message}, with "detail" when there is
// more to it; returns 1.
int printError(const QString &message, const QString &detail = {});

// Writes a 121-point ride at about 80 km/h, one fix a second, as GPX: "loop",
// a rounded square with straight sides, or "bends", a winding road whose
// heading changes at every video frame. False for another shape or a failed write.
bool writeBenchRoute(const QString &path, const QString &shape);

// The names of the widgets the task draws, as the export subcommand takes them.
QStringList exportedWidgets(const ExportTask &task);

} // namespace routereel::bench
