#include "updatechecker.h"

#include "updatecheckerror.h"
#include "updateinfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QHostAddress>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

namespace routereel {

namespace {

const QString lastCheckedKey = QStringLiteral("updateChecker.lastCheckedAt");
const QString skippedVersionKey = QStringLiteral("updateChecker.skippedVersion");
constexpr char tooLargeProperty[] = "routereelTooLarge";

// The part before the first "-" or "+", or the whole text when there is none.
QString versionCore(const QString &version)
{
    static const QRegularExpression separators(QStringLiteral("[-+]"));
    const QStringList pieces = version.split(separators, Qt::SkipEmptyParts);
    return pieces.isEmpty() ? version : pieces.first();
}

// The pieces between dots that are plain decimal numbers within 64 bits; any other piece is dropped.
QList<qint64> versionNumbers(const QString &core)
{
    QList<qint64> numbers;
    for (const QString &piece : core.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        const bool digits = std::all_of(piece.begin(), piece.end(),
                                        [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        bool ok = false;
        const qint64 value = digits ? piece.toLongLong(&ok, 10) : 0;
        if (ok)
            numbers << value;
    }
    return numbers;
}

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// The server sent a whole answer: any HTTP status, success or error. Qt reports an error
// status as an error of its own, but a dropped connection or a garbled reply is no answer.
bool serverAnswered(const QNetworkReply *reply)
{
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const QNetworkReply::NetworkError error = reply->error();
    return error == QNetworkReply::NoError
        || (error > QNetworkReply::UnknownNetworkError && error != QNetworkReply::ProtocolFailure);
}

QMessageBox *makeBox(QWidget *window, QMessageBox::Icon icon, const QString &text, const QString &informative)
{
    auto *box = new QMessageBox(window);
    box->setWindowTitle(QStringLiteral("routereel"));
    box->setIcon(icon);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    box->setInformativeText(informative);
    // The server's words are text, never markup or links.
    if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setMinimumWidth(320);
    }
    return box;
}

} // namespace

UpdateChecker::UpdateChecker(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_network(new QNetworkAccessManager(this))
{
}

void UpdateChecker::setWindow(QWidget *window)
{
    m_window = window;
}

double UpdateChecker::now() const
{
    return m_options.now ? m_options.now() : QDateTime::currentMSecsSinceEpoch() / 1000.0;
}

QUrl UpdateChecker::endpoint() const
{
    QUrl url = m_options.server;
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && !(scheme == QLatin1String("http") && isLoopback(url.host())))
        return {};
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/api/version"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QString UpdateChecker::currentVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("0.0.0") : version;
}

int UpdateChecker::compareVersions(const QString &a, const QString &b)
{
    const QList<qint64> x = versionNumbers(versionCore(a));
    const QList<qint64> y = versionNumbers(versionCore(b));
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const qint64 left = x.value(i, 0);
        const qint64 right = y.value(i, 0);
        if (left != right)
            return left < right ? -1 : 1;
    }
    const bool aPre = a.contains(QLatin1Char('-'));
    const bool bPre = b.contains(QLatin1Char('-'));
    if (aPre != bPre)
        return aPre ? -1 : 1;
    return 0;
}

void UpdateChecker::checkOnLaunchIfNeeded()
{
    const double last = QSettings().value(lastCheckedKey).toDouble();
    const double current = now();
    if (current - last > launchInterval || last > current)
        QTimer::singleShot(0, this, [this] { check(true); });
}

void UpdateChecker::check(bool silent)
{
    if (m_checking)
        return;
    m_checking = true;
    const QUrl url = endpoint();
    if (!url.isValid()) {
        finish();
        return;
    }
    QNetworkRequest request(url);
    // Qt sets no limit of its own: a stalled server would hold the check for the whole session.
    request.setTransferTimeout(m_options.timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = m_network->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > answerLimit || total > answerLimit) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, silent] {
        reply->deleteLater();
        handleReply(reply, silent);
    });
}

void UpdateChecker::handleReply(QNetworkReply *reply, bool silent)
{
    const QNetworkReply::NetworkError error = reply->error();
    if (reply->property(tooLargeProperty).toBool())
        return fail(UpdateCheckError::tooLarge(), silent);
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        return fail(UpdateCheckError::timeout(), silent);
    // The status is not looked at: whatever the server sent that decodes is its answer.
    if (!serverAnswered(reply))
        return fail(UpdateCheckError::transport(reply->errorString()), silent);
    const QByteArray body = reply->read(answerLimit + 1);
    if (body.size() > answerLimit)
        return fail(UpdateCheckError::tooLarge(), silent);
    QString reason;
    const std::optional<UpdateInfo> info = UpdateInfo::decode(body, &reason);
    if (!info)
        return fail(UpdateCheckError::invalidAnswer(reason), silent);
    handleAnswer(*info, silent);
}

void UpdateChecker::handleAnswer(const UpdateInfo &info, bool silent)
{
    QSettings().setValue(lastCheckedKey, now());
    const QString current = currentVersion();
    if (compareVersions(current, info.latest) < 0) {
        const QVariant skipped = QSettings().value(skippedVersionKey);
        if (!(silent && skipped.isValid() && skipped.toString() == info.latest))
            showUpdateAlert(info, current);
    } else if (!silent) {
        showUpToDateAlert(current);
    }
    finish();
}

void UpdateChecker::fail(const UpdateCheckError &error, bool silent)
{
    qInfo().noquote() << "[UpdateChecker] check failed:" << error.message();
    QSettings().setValue(lastCheckedKey, now() - failureBackdate);
    if (!silent)
        showCheckFailedAlert(error);
    finish();
}

void UpdateChecker::finish()
{
    m_checking = false;
    emit checkFinished();
}

void UpdateChecker::showUpdateAlert(const UpdateInfo &info, const QString &current)
{
    const QString text = QStringLiteral("routereel ") + info.latest + QStringLiteral(" is available (you have ")
        + current + QStringLiteral(").\n\n") + info.releaseNotes.value_or(QString());
    const QPointer<QMessageBox> box = makeBox(m_window, QMessageBox::Information, tr("Update Available"), text);
    box->setObjectName(QStringLiteral("updateAvailableAlert"));
    QPushButton *download = box->addButton(tr("Download"), QMessageBox::AcceptRole);
    QPushButton *skip = box->addButton(tr("Skip This Version"), QMessageBox::ActionRole);
    QPushButton *later = box->addButton(tr("Later"), QMessageBox::RejectRole);
    box->setDefaultButton(download);
    box->setEscapeButton(later);
    box->exec();
    if (!box)
        return;  // the window went while the alert was open
    const QAbstractButton *clicked = box->clickedButton();
    delete box;
    if (clicked == download) {
        // Only a secure web address goes to the browser: the answer is not trusted.
        const QUrl url(info.downloadUrl, QUrl::StrictMode);
        if (url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty())
            QDesktopServices::openUrl(url);
        else
            qWarning().noquote() << "[UpdateChecker] download address refused:" << info.downloadUrl;
    } else if (clicked == skip) {
        QSettings().setValue(skippedVersionKey, info.latest);
    }
}

void UpdateChecker::showUpToDateAlert(const QString &current)
{
    const QPointer<QMessageBox> box = makeBox(m_window, QMessageBox::Information, tr("You're up to date"),
                                              tr("routereel %1 is the latest version.").arg(current));
    box->setObjectName(QStringLiteral("upToDateAlert"));
    box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
    box->exec();
    delete box;
}

void UpdateChecker::showCheckFailedAlert(const UpdateCheckError &error)
{
    const QPointer<QMessageBox> box
        = makeBox(m_window, QMessageBox::Warning, tr("Could not check for updates"), error.message());
    box->setObjectName(QStringLiteral("checkFailedAlert"));
    box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
    box->exec();
    delete box;
}

} // namespace routereel
