#include "timeline/videoimportchain.h"

#include "timeline/timelineengine.h"
#include "media/videoreaderror.h"
#include "media/videotimelineerror.h"
#include "tracks/logstore.h"

#include "support/timelinefixtures.h"
#include "support/waitfor.h"

#include <QPromise>
#include <gtest/gtest.h>

#include <memory>

using namespace routereel;
using testsupport::waitFor;

namespace {

// Probes that finish when the test says so; at most one may be out at a time.
struct Chain {
    TimelineEngine engine;
    LogStore log;
    VideoImportChain chain{engine, log};
    QList<std::pair<QUrl, std::shared_ptr<QPromise<VideoSource>>>> probes;
    int outstanding = 0;
    int mostOutstanding = 0;
    QStringList failures;

    Chain()
    {
        chain.setProbe([this](const QUrl &url, const QUuid &id) {
            auto promise = std::make_shared<QPromise<VideoSource>>();
            promise->start();
            probes.append({url, promise});
            mostOutstanding = std::max(mostOutstanding, ++outstanding);
            Q_UNUSED(id);
            return promise->future();
        });
        QObject::connect(&chain, &VideoImportChain::failed, [this](const QString &m) { failures << m; });
    }
    // Waits for the probe of `name`, then answers it with a clip or, for a height of 0,
    // a file without usable video and, below 0, a file that cannot be read.
    void answer(const QString &name, double height = 1080)
    {
        ASSERT_TRUE(waitFor([&] { return !probes.isEmpty() && probes.last().first.fileName() == name; }))
            << name.toStdString();
        auto promise = probes.last().second;
        if (height > 0) {
            VideoSource s = testsupport::source(5, 1920, height, false, probes.last().first.toLocalFile());
            promise->addResult(s);
        } else if (height == 0) {
            promise->setException(VideoTimelineError::invalidVideo(name));
        } else {
            promise->setException(VideoReadError(name, QStringLiteral("it ends early")));
        }
        --outstanding;
        promise->finish();
    }
    QStringList importedNames() const
    {
        QStringList names;
        for (const VideoSource &s : engine.videoSources())
            names << s.url.fileName();
        return names;
    }
};

QList<QUrl> files(std::initializer_list<const char *> names)
{
    QList<QUrl> urls;
    for (const char *name : names)
        urls << QUrl::fromLocalFile(QStringLiteral("/clips/") + QLatin1String(name));
    return urls;
}

} // namespace

TEST(VideoImportChain, ImportsRunOneProbeAtATimeInTheOrderStarted)
{
    Chain c;
    c.chain.import({});
    EXPECT_FALSE(c.chain.isBusy());
    c.chain.import(files({"a.mp4", "bad.mov"}));
    c.chain.import(files({"c.m4v", "cut.mp4"}));  // waits for the first import, never cancels it
    c.answer("a.mp4", 1920);
    c.answer("bad.mov", 0);  // a failure is reported and the list goes on
    c.answer("c.m4v");
    c.answer("cut.mp4", -1); // the reason the file cannot be read reaches the user
    ASSERT_TRUE(waitFor([&] { return !c.chain.isBusy(); }));
    EXPECT_EQ(c.mostOutstanding, 1);
    EXPECT_EQ(c.importedNames(), QStringList({"a.mp4", "c.m4v"}));
    EXPECT_EQ(c.engine.canvasOrigin(), QSizeF(1920, 1920));  // the first video fixes the canvas
    EXPECT_EQ(c.failures,
              QStringList({"Cannot load video: bad.mov", "Cannot read video file cut.mp4: it ends early"}));
    ASSERT_EQ(c.log.entries().size(), 2);
    EXPECT_EQ(c.log.entries()[0].title, QStringLiteral("Import Video"));
    EXPECT_EQ(c.log.entries()[0].detail, QStringLiteral("/clips/c.m4v"));
}

TEST(VideoImportChain, ClearOrCancelDuringAProbeDropsTheRestSilently)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "clear");
        Chain c;
        c.engine.importVideo(testsupport::source(3));  // something for Clear to remove
        c.chain.import(files({"a.mp4", "b.mp4"}));
        c.chain.import(files({"c.mp4"}));
        ASSERT_TRUE(waitFor([&] { return c.probes.size() == 1; }));
        if (cancel)
            c.chain.cancel();
        else
            c.engine.clear();
        c.answer("a.mp4");
        // An import started afterwards runs.
        c.chain.import(files({"d.mp4"}));
        c.answer("d.mp4");
        ASSERT_TRUE(waitFor([&] { return !c.chain.isBusy(); }));
        QStringList expected{"d.mp4"};
        if (cancel)
            expected.prepend("a.mov");
        EXPECT_EQ(c.importedNames(), expected);
        EXPECT_EQ(c.probes.size(), 2);  // b and c were never probed
        EXPECT_TRUE(c.failures.isEmpty());
    }
}
