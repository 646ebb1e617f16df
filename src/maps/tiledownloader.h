#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QNetworkAccessManager;
class QObject;
class QThread;

namespace routereel {

// HTTP GETs through one QNetworkAccessManager living on its own thread, for
// callers that block until the answer arrives. Every wait has an overall
// deadline (the transfer time-out alone lets a trickling server hold a caller
// for ever) and checks the caller's cancel test. A host that cannot be reached
// (refused, unknown name, no answer) is not asked again for a while: without a
// network every tile of every frame would otherwise wait out its own time-out.
class TileDownloader {
public:
    struct Response {
        int status = 0;  // HTTP status, 0 when none arrived
        QByteArray body;
    };
    using CancelCheck = std::function<bool()>;

    struct Limits {
        std::chrono::milliseconds transferTimeout{15000};  // longest silence of the server
        std::chrono::milliseconds deadline{30000};          // longest whole request
        std::chrono::milliseconds responseTimeout{5000};    // longest wait for the answer to begin
        std::chrono::milliseconds hostBackOff{30000};       // first pause after a host was unreachable
    };
    // Why get() gave nothing.
    enum class Miss { failed, unreachable, cancelled };

    explicit TileDownloader(Limits limits);
    ~TileDownloader();

    // Blocks until the response is complete. Nothing on a network error, time-out, cancellation,
    // while the host backs off, after shutDown(), or when called on the network thread itself
    // (it would wait on itself); `miss` then says why. `answerBy`: the answer must begin by then
    // as well as within the response time-out (a wait that shares a deadline with others).
    std::optional<Response> get(const QUrl &url, const CancelCheck &isCancelled = {}, Miss *miss = nullptr,
                                std::optional<std::chrono::steady_clock::time_point> answerBy = std::nullopt);

    // Forgets the unreachable hosts.
    void forgetUnreachableHosts();

    // Aborts every request in flight or queued; their callers get nothing.
    void cancelAll();

    // Stops the network thread; later requests get nothing at once.
    void shutDown();

    QThread *thread() const;

private:
    struct Pending;
    struct HostState {
        int failures = 0;
        std::chrono::steady_clock::time_point until;
    };
    void start(const std::shared_ptr<Pending> &pending);
    void noteHost(const QString &host, bool reached);
    bool backingOff(const QString &host) const;
    static QString hostKey(const QUrl &url);

    const Limits m_limits;
    mutable std::mutex m_hostsLock;
    QHash<QString, HostState> m_hosts;
    std::unique_ptr<QThread> m_thread;
    QObject *m_context = nullptr;  // lives on m_thread
    QNetworkAccessManager *m_manager = nullptr;  // created and used on m_thread only
    std::atomic<quint64> m_epoch{0};
    std::atomic<bool> m_stopped{false};
};

} // namespace routereel
