#include "export/ffmpegruntime.h"

#include "support/fakeffmpeg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::FakeFfmpegSpec;
using testsupport::writeFakeFfmpeg;

namespace {

class FFmpegDiscovery : public ::testing::Test {
protected:
    // A fake ffmpeg at `relative` inside the temporary folder.
    QString fake(const QString &relative, const FakeFfmpegSpec &spec = {})
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(writeFakeFfmpeg(path, spec));
        return path;
    }
    QString path(const QString &relative) const { return dir.filePath(relative); }

    QTemporaryDir dir;
};

int lineCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().count('\n');
}

} // namespace

TEST_F(FFmpegDiscovery, ShippedCopyThenSystemThenCommandPathEachProbed)
{
    FakeFfmpegSpec broken;
    broken.versionExit = 1;
    const QString failing = fake(QStringLiteral("app/BundledTools/ffmpeg"), broken);
    const QString shipped = fake(QStringLiteral("share/BundledTools/ffmpeg"));
    const QString first = fake(QStringLiteral("local/bin/ffmpeg"));
    const QString second = fake(QStringLiteral("usr/bin/ffmpeg"));
    const QString onPath = fake(QStringLiteral("path2/ffmpeg"));
    QDir().mkpath(path(QStringLiteral("path1")));

    FFmpegSearch search;
    search.bundled = {path(QStringLiteral("missing/ffmpeg")), shipped};
    search.system = {path(QStringLiteral("opt/bin/ffmpeg")), first, second};
    search.commandPath = {path(QStringLiteral("path1")), path(QStringLiteral("path2"))};
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), shipped);

    // a shipped copy that exits 1 is passed over
    search.bundled = {failing};
    ExportError error = ExportError::renderError();
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(&error, search), first);
    EXPECT_EQ(error, ExportError::renderError()) << "success leaves the error alone";

    search.system = {path(QStringLiteral("nowhere/ffmpeg"))};
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), onPath);
}

TEST_F(FFmpegDiscovery, NothingUsableGivesNotFound)
{
    FakeFfmpegSpec broken;
    broken.versionExit = 1;
    const QString shipped = fake(QStringLiteral("app/BundledTools/ffmpeg"), broken);
    fake(QStringLiteral("path/ffmpeg"), broken);
    // exists but cannot be started
    const QString notExecutable = path(QStringLiteral("usr/bin/ffmpeg"));
    QDir().mkpath(path(QStringLiteral("usr/bin")));
    QFile file(notExecutable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();

    FFmpegSearch search;
    search.bundled = {shipped};
    search.system = {notExecutable, path(QStringLiteral("local/bin/ffmpeg"))};
    search.commandPath = {path(QStringLiteral("path"))};
    ExportError error = ExportError::renderError();
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(&error, search), QString());
    EXPECT_EQ(error, ExportError::ffmpegNotFound());
}

TEST_F(FFmpegDiscovery, ShippedCopyFindsItsLibraries)
{
    FakeFfmpegSpec needsLib;
    needsLib.requiredLibraryPath = path(QStringLiteral("app/BundledTools/lib"));
    const QString shipped = fake(QStringLiteral("app/BundledTools/ffmpeg"), needsLib);
    FFmpegSearch search;
    search.bundled = {shipped};
    EXPECT_FALSE(FFmpegRuntime::probeFFmpeg(shipped));
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), QString());

    QDir().mkpath(path(QStringLiteral("app/BundledTools/lib")));
    EXPECT_TRUE(FFmpegRuntime::probeFFmpeg(shipped));
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), shipped);
}

TEST_F(FFmpegDiscovery, AnAnswerIsKeptOnlyWhileTheProgramStaysTheSame)
{
    FakeFfmpegSpec good;
    good.callLog = path(QStringLiteral("calls.log"));
    const QString program = fake(QStringLiteral("local/bin/ffmpeg"), good);
    FFmpegSearch search;
    search.system = {program};
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), program);
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), program);
    EXPECT_EQ(lineCount(good.callLog), 1) << "one probe for two exports";

    FakeFfmpegSpec broken = good;
    broken.versionExit = 1;
    fake(QStringLiteral("local/bin/ffmpeg"), broken);
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), QString()) << "a replaced program is probed again";
    fake(QStringLiteral("local/bin/ffmpeg"), good);
    EXPECT_EQ(FFmpegRuntime::locateFFmpeg(nullptr, search), program) << "a failed probe is not kept";
    EXPECT_EQ(lineCount(good.callLog), 3);
}

TEST_F(FFmpegDiscovery, LibraryPathIsPrependedOnlyWithALibFolder)
{
    const QString ffmpeg = fake(QStringLiteral("tools/ffmpeg"));
    QProcessEnvironment base;
    base.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral("  /opt/old/lib \n"));
    base.insert(QStringLiteral("HOME"), QStringLiteral("/home/x"));

    // no lib folder: the environment is the application's own
    EXPECT_EQ(FFmpegRuntime::ffmpegEnvironment(ffmpeg, base), base);

    QDir().mkpath(path(QStringLiteral("tools/lib")));
    const QString lib = path(QStringLiteral("tools/lib"));
    QProcessEnvironment env = FFmpegRuntime::ffmpegEnvironment(ffmpeg, base);
    EXPECT_EQ(env.value(QStringLiteral("LD_LIBRARY_PATH")), lib + QStringLiteral(":/opt/old/lib"));
    EXPECT_EQ(env.value(QStringLiteral("HOME")), QStringLiteral("/home/x"));

    env = FFmpegRuntime::ffmpegEnvironment(ffmpeg, QProcessEnvironment());
    EXPECT_EQ(env.value(QStringLiteral("LD_LIBRARY_PATH")), lib);

    QProcessEnvironment blank;
    blank.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(" \n"));
    FFmpegRuntime::prependLibraryPath(blank, QStringLiteral("LD_LIBRARY_PATH"), QString());
    EXPECT_TRUE(blank.contains(QStringLiteral("LD_LIBRARY_PATH")));
    EXPECT_EQ(blank.value(QStringLiteral("LD_LIBRARY_PATH")), QString());
}

TEST_F(FFmpegDiscovery, EncoderProbeIsCachedPerPath)
{
    FakeFfmpegSpec with;
    with.callLog = path(QStringLiteral("with.log"));
    const QString good = fake(QStringLiteral("good/ffmpeg"), with);

    FakeFfmpegSpec without;
    without.callLog = path(QStringLiteral("without.log"));
    without.encoders = QStringLiteral(" V....D libx264rgb           libx264 H.264 RGB\n V..... mpeg4\n");
    const QString bad = fake(QStringLiteral("bad/ffmpeg"), without);

    FakeFfmpegSpec failing;
    failing.encodersExit = 1;
    const QString broken = fake(QStringLiteral("broken/ffmpeg"), failing);

    EXPECT_TRUE(FFmpegRuntime::supportsLibx264(good));
    EXPECT_TRUE(FFmpegRuntime::supportsLibx264(good));
    EXPECT_EQ(lineCount(with.callLog), 1);
    EXPECT_FALSE(FFmpegRuntime::supportsLibx264(bad));
    EXPECT_FALSE(FFmpegRuntime::supportsLibx264(broken));
    EXPECT_FALSE(FFmpegRuntime::supportsLibx264(path(QStringLiteral("none/ffmpeg"))));

    EXPECT_EQ(FFmpegRuntime::requireLibx264(good), std::nullopt);
    const std::optional<ExportError> error = FFmpegRuntime::requireLibx264(bad);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ExportError::Kind::ffmpegError);
    EXPECT_EQ(error->message(),
              QStringLiteral("FFmpeg: ") + bad
                  + QStringLiteral(" has no libx264 H.264 encoder. Install an FFmpeg built with libx264."));
    EXPECT_EQ(lineCount(without.callLog), 1);
}

TEST(FFmpegRuntime, SystemFFmpegIsFoundAndHasLibx264)
{
    ExportError error = ExportError::renderError();
    const QString found = FFmpegRuntime::locateFFmpeg(&error);
    ASSERT_FALSE(found.isEmpty()) << error.message().toStdString();
    EXPECT_TRUE(FFmpegRuntime::supportsLibx264(found));
}

TEST(FFmpegRuntime, FrameRateTexts)
{
    const std::pair<double, const char *> cases[] = {
        {23.976, "24000/1001"}, {23.967, "24000/1001"}, {29.97, "30000/1001"}, {59.94, "60000/1001"},
        {30.0004, "30"},        {29.9996, "30"},        {30.002, "30.002"},    {47.952, "47.952"},
        {120, "120"},           {0.5, "0.5"},           {1.0 / 3, "0.333333"},
    };
    for (const auto &[fps, text] : cases)
        EXPECT_EQ(FFmpegRuntime::ffmpegFrameRate(fps), QString::fromLatin1(text)) << fps;
}
