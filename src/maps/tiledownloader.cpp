#include "tiledownloader.h"

#include "mapservices.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace routereel {

namespace {

// Errors that say nothing about the tile but that the host could not be reached.
bool unreachable(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

constexpr auto longestBackOff = std::chrono::minutes(5);

} // namespace

struct TileDownloader::Pending {
    QUrl url;
    QString host;
    quint64 epoch = 0;
    std::optional<std::chrono::steady_clock::time_point> answerBy;
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::optional<Response> response;
    QPointer<QNetworkReply> reply;  // network thread only
    bool abandoned = false;         // network thread only
    bool timedOut = false;          // network thread only: no answer began in time
};

TileDownloader::TileDownloader(Limits limits)
    : m_limits(limits)
    , m_thread(std::make_unique<QThread>())
    , m_context(new QObject)
{
    m_thread->setObjectName(QStringLiteral("tile-network"));
    m_context->moveToThread(m_thread.get());
    m_thread->start();
    QMetaObject::invokeMethod(
        m_context, [this] { m_manager = new QNetworkAccessManager(m_context); }, Qt::BlockingQueuedConnection);
}

TileDownloader::~TileDownloader()
{
    shutDown();
    delete m_context;
}

QThread *TileDownloader::thread() const
{
    return m_thread.get();
}

void TileDownloader::shutDown()
{
    if (m_stopped.exchange(true))
        return;
    ++m_epoch;
    if (QThread::currentThread() == m_thread.get()) {
        // Cannot join ourselves; the owner's destructor never runs here.
        qWarning("[TileCache] network shut down from its own thread");
        return;
    }
    // Waiting callers see m_stopped within one wait slice. m_context stays alive: events
    // posted to it from now on are never run and are dropped with it.
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            delete m_manager;
            m_manager = nullptr;
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void TileDownloader::cancelAll()
{
    ++m_epoch;
    if (m_stopped)
        return;
    QMetaObject::invokeMethod(m_context, [this] {
        if (!m_manager)
            return;
        for (QNetworkReply *reply : m_manager->findChildren<QNetworkReply *>())
            reply->abort();
    });
}

QString TileDownloader::hostKey(const QUrl &url)
{
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    return url.scheme() + QStringLiteral("://") + url.host() + QLatin1Char(':') + QString::number(url.port(defaultPort));
}

bool TileDownloader::backingOff(const QString &host) const
{
    std::lock_guard lock(m_hostsLock);
    const auto it = m_hosts.constFind(host);
    return it != m_hosts.constEnd() && std::chrono::steady_clock::now() < it->until;
}

void TileDownloader::noteHost(const QString &host, bool reached)
{
    std::lock_guard lock(m_hostsLock);
    if (reached) {
        m_hosts.remove(host);
        return;
    }
    // Each failure in a row doubles the pause, up to five minutes.
    HostState &state = m_hosts[host];
    const auto now = std::chrono::steady_clock::now();
    if (now < state.until)
        return;  // requests already running when it failed tell nothing new
    state.failures = std::min(state.failures + 1, 16);
    const auto pause = std::min<std::chrono::steady_clock::duration>(
        m_limits.hostBackOff * (1LL << std::min(state.failures - 1, 10)), longestBackOff);
    state.until = now + pause;
    qInfo("[TileCache] %s unreachable, not asked again for %lld s", qPrintable(host),
          qlonglong(std::chrono::duration_cast<std::chrono::seconds>(pause).count()));
}

void TileDownloader::forgetUnreachableHosts()
{
    std::lock_guard lock(m_hostsLock);
    m_hosts.clear();
}

std::optional<TileDownloader::Response> TileDownloader::get(const QUrl &url, const CancelCheck &isCancelled, Miss *miss,
                                                            std::optional<std::chrono::steady_clock::time_point> answerBy)
{
    const auto missed = [miss](Miss why) {
        if (miss)
            *miss = why;
        return std::nullopt;
    };
    if (m_stopped || QThread::currentThread() == m_thread.get() || !url.isValid())
        return missed(Miss::failed);
    if (isCancelled && isCancelled())
        return missed(Miss::cancelled);
    const QString host = hostKey(url);
    if (backingOff(host))
        return missed(Miss::unreachable);
    auto pending = std::make_shared<Pending>();
    pending->url = url;
    pending->host = host;
    pending->epoch = m_epoch;
    pending->answerBy = answerBy;
    QMetaObject::invokeMethod(m_context, [this, pending] { start(pending); });

    const auto deadline = std::chrono::steady_clock::now() + m_limits.deadline;
    std::unique_lock lock(pending->mutex);
    while (!pending->done) {
        const bool cancelled = (isCancelled && isCancelled()) || pending->epoch != m_epoch || m_stopped;
        // Another request found the host unreachable meanwhile: this one would only wait for the same.
        const bool hostDown = !cancelled && backingOff(host);
        if (cancelled || hostDown || std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            if (!m_stopped) {
                QMetaObject::invokeMethod(m_context, [pending] {
                    pending->abandoned = true;
                    if (pending->reply)
                        pending->reply->abort();
                });
            }
            return missed(cancelled ? Miss::cancelled : hostDown ? Miss::unreachable : Miss::failed);
        }
        // Short slices so a cancellation is noticed quickly.
        pending->changed.wait_for(lock, std::chrono::milliseconds(20));
    }
    if (!pending->response)
        return missed(backingOff(host) ? Miss::unreachable : Miss::failed);
    return pending->response;
}

void TileDownloader::start(const std::shared_ptr<Pending> &pending)
{
    const auto finish = [pending](std::optional<Response> response) {
        {
            std::lock_guard lock(pending->mutex);
            pending->response = std::move(response);
            pending->done = true;
        }
        pending->changed.notify_all();
    };
    if (pending->abandoned || pending->epoch != m_epoch || !m_manager) {
        finish(std::nullopt);
        return;
    }
    if (backingOff(pending->host)) {
        finish(std::nullopt);  // queued before its host was found unreachable
        return;
    }
    QNetworkRequest request(pending->url);
    request.setTransferTimeout(int(m_limits.transferTimeout.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader, MapServices::userAgent());
    QNetworkReply *reply = m_manager->get(request);
    pending->reply = reply;
    const auto answered = [reply] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid(); };
    // A name that does not resolve, or a server that accepts and says nothing, is
    // given up on before the transfer time-out; the network side also enforces
    // the deadline, so no connection outlives it.
    const auto giveUp = [reply, pending, answered] {
        pending->timedOut = !answered();
        reply->abort();
    };
    std::chrono::milliseconds responseTimeout = m_limits.responseTimeout;
    if (pending->answerBy)
        responseTimeout = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(*pending->answerBy
                                                                                  - std::chrono::steady_clock::now()),
                                     std::chrono::milliseconds(0), responseTimeout);
    QTimer::singleShot(responseTimeout, reply, [giveUp, answered] {
        if (!answered())
            giveUp();
    });
    QTimer::singleShot(m_limits.deadline, reply, giveUp);
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, pending, finish] {
        Response response;
        response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QNetworkReply::NetworkError error = reply->error();
        if (response.status != 0)
            noteHost(pending->host, true);
        else if (pending->timedOut || (unreachable(error) && !pending->abandoned))
            noteHost(pending->host, false);
        if (error == QNetworkReply::NoError) {
            response.body = reply->readAll();
            finish(response);
        } else if (response.status != 0 && error != QNetworkReply::OperationCanceledError) {
            finish(response);  // an HTTP error status; the caller only needs the code
        } else {
            finish(std::nullopt);
        }
        reply->deleteLater();
    });
}

} // namespace routereel
