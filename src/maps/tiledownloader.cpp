#include "tiledownloader.h"

#include "mapservices.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <mutex>

namespace routereel {

struct TileDownloader::Pending {
    QUrl url;
    quint64 epoch = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    std::optional<Response> response;
    QPointer<QNetworkReply> reply;  // network thread only
    bool abandoned = false;         // network thread only
};

TileDownloader::TileDownloader(std::chrono::milliseconds transferTimeout, std::chrono::milliseconds deadline)
    : m_transferTimeout(transferTimeout)
    , m_deadline(deadline)
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

std::optional<TileDownloader::Response> TileDownloader::get(const QUrl &url, const CancelCheck &isCancelled)
{
    if (m_stopped || QThread::currentThread() == m_thread.get() || !url.isValid())
        return std::nullopt;
    if (isCancelled && isCancelled())
        return std::nullopt;
    auto pending = std::make_shared<Pending>();
    pending->url = url;
    pending->epoch = m_epoch;
    QMetaObject::invokeMethod(m_context, [this, pending] { start(pending); });

    const auto deadline = std::chrono::steady_clock::now() + m_deadline;
    std::unique_lock lock(pending->mutex);
    while (!pending->done) {
        if ((isCancelled && isCancelled()) || pending->epoch != m_epoch || m_stopped
            || std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            if (!m_stopped) {
                QMetaObject::invokeMethod(m_context, [pending] {
                    pending->abandoned = true;
                    if (pending->reply)
                        pending->reply->abort();
                });
            }
            return std::nullopt;
        }
        // Short slices so a cancellation is noticed quickly.
        pending->changed.wait_for(lock, std::chrono::milliseconds(20));
    }
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
    QNetworkRequest request(pending->url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    request.setHeader(QNetworkRequest::UserAgentHeader, MapServices::userAgent());
    QNetworkReply *reply = m_manager->get(request);
    pending->reply = reply;
    // The network side enforces the deadline too, so no connection outlives it.
    QTimer::singleShot(m_deadline, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, finish] {
        Response response;
        response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError) {
            response.body = reply->readAll();
            finish(response);
        } else if (response.status != 0 && reply->error() != QNetworkReply::OperationCanceledError) {
            finish(response);  // an HTTP error status; the caller only needs the code
        } else {
            finish(std::nullopt);
        }
        reply->deleteLater();
    });
}

} // namespace routereel
