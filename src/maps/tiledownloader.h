#pragma once

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QObject;
class QThread;

namespace routereel {

// HTTP GETs through one QNetworkAccessManager living on its own thread, for
// callers that block until the answer arrives. Every wait has an overall
// deadline (the transfer time-out alone lets a trickling server hold a caller
// for ever) and checks the caller's cancel test.
class TileDownloader {
public:
    struct Response {
        int status = 0;  // HTTP status, 0 when none arrived
        QByteArray body;
    };
    using CancelCheck = std::function<bool()>;

    // `transferTimeout`: longest silence of the server; `deadline`: longest whole request.
    TileDownloader(std::chrono::milliseconds transferTimeout, std::chrono::milliseconds deadline);
    ~TileDownloader();

    // Blocks until the response is complete. Nothing on a network error, time-out, cancellation,
    // after shutDown(), or when called on the network thread itself (it would wait on itself).
    std::optional<Response> get(const QUrl &url, const CancelCheck &isCancelled = {});

    // Aborts every request in flight or queued; their callers get nothing.
    void cancelAll();

    // Stops the network thread; later requests get nothing at once.
    void shutDown();

    QThread *thread() const;

private:
    struct Pending;
    void start(const std::shared_ptr<Pending> &pending);

    const std::chrono::milliseconds m_transferTimeout;
    const std::chrono::milliseconds m_deadline;
    std::unique_ptr<QThread> m_thread;
    QObject *m_context = nullptr;  // lives on m_thread
    QNetworkAccessManager *m_manager = nullptr;  // created and used on m_thread only
    std::atomic<quint64> m_epoch{0};
    std::atomic<bool> m_stopped{false};
};

} // namespace routereel
