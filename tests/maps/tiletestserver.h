#pragma once

#include "maps/tilecache.h"
#include "support/loopbackhttpserver.h"

#include <QImage>
#include <QMutex>
#include <QTemporaryDir>

#include <atomic>
#include <optional>

// A loopback tile service for both providers' request paths, serving generated
// PNG tiles (or failures). Points the map services at itself while it lives.
class TileTestServer {
public:
    enum class Mode { tiles, notFound, serverError, corrupt, trickle, noAnswer };
    struct TileId {
        int z = 0;
        int x = 0;
        int y = 0;
    };

    explicit TileTestServer(int latencyMs = 0);
    ~TileTestServer();

    void setMode(Mode mode) { m_mode = mode; }
    int requestCount() const { return m_http.requestCount(); }
    QList<QByteArray> requestedTargets() const { return m_http.requestedTargets(); }
    QList<TileId> requestedTiles() const;
    QByteArray lastUserAgent() const;

    // A 512-pixel tile with a colour and a road grid of its own, so that misplaced tiles show.
    static QImage tileImage(int z, int x, int y);
    static QColor tileColor(int z, int x, int y);
    static std::optional<TileId> parseTarget(const QByteArray &target);

private:
    testsupport::HttpResponse respond(const testsupport::HttpRequest &request);

    std::atomic<Mode> m_mode{Mode::tiles};
    const int m_latencyMs;
    mutable QMutex m_mutex;
    QByteArray m_userAgent;
    testsupport::LoopbackHttpServer m_http;
};

// A tile cache in a folder of its own, over a loopback tile server.
struct LoopbackTiles {
    TileTestServer server;
    QTemporaryDir dir;
    routereel::TileCache cache;
    explicit LoopbackTiles(routereel::TileCache::Options o = {}, int latencyMs = 0)
        : server(latencyMs)
        , cache(withRoot(o))
    {
    }
    routereel::TileCache::Options withRoot(routereel::TileCache::Options o) const
    {
        o.root = dir.path() + QStringLiteral("/tiles");
        return o;
    }
};
