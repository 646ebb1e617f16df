#include "support/clipgenerator.h"
#include "support/loopbackhttpserver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

struct Fetched {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

Fetched fetch(const QUrl &url, int timeoutMs = 5000)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = nam.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Fetched f{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), reply->error()};
    reply->deleteLater();
    return f;
}

} // namespace

TEST(TestSupport, LoopbackServerAnswersAsTold)
{
    LoopbackHttpServer server([](const HttpRequest &req) {
        HttpResponse r;
        if (req.target == "/missing")
            r.status = 404;
        else if (req.target == "/slow")
            r.bytesPerSecond = 40, r.body = QByteArray(12, 'x');
        else if (req.target == "/never")
            r.noAnswer = true;
        else
            r.body = req.target;
        return r;
    });
    EXPECT_EQ(fetch(server.baseUrl().resolved(QUrl(QStringLiteral("/a?b=1")))).body, QByteArray("/a?b=1"));
    EXPECT_EQ(fetch(server.baseUrl().resolved(QUrl(QStringLiteral("/missing")))).status, 404);

    QElapsedTimer t;
    t.start();
    EXPECT_EQ(fetch(server.baseUrl().resolved(QUrl(QStringLiteral("/slow")))).body, QByteArray(12, 'x'));
    EXPECT_GE(t.elapsed(), 200);

    EXPECT_EQ(fetch(server.baseUrl().resolved(QUrl(QStringLiteral("/never"))), 300).error,
              QNetworkReply::OperationCanceledError);
    EXPECT_EQ(server.requestCount(), 4);
}

TEST(TestSupport, ClipGeneratorMakesProbeableClips)
{
    QTemporaryDir dir;
    const QString clip = makeClip(dir.path(), QStringLiteral("a.mp4"), {.seconds = 1, .width = 64, .height = 48, .fps = 25});
    ASSERT_FALSE(clip.isEmpty());
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                           QStringLiteral("-show_entries"), QStringLiteral("stream=codec_type,nb_read_frames,width"),
                                           QStringLiteral("-of"), QStringLiteral("csv=p=0"), clip});
    ASSERT_TRUE(probe.waitForFinished(30000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("video,64,25"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("audio"))) << out.toStdString();
    EXPECT_FALSE(makeAudioOnly(dir.path(), QStringLiteral("x.m4a")).isEmpty());
}
