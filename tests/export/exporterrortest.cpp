#include "export/exporterror.h"

#include <QCoreApplication>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

// Marks every text that goes through the translation tables.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char *, const char *sourceText, const char *, int) const override
    {
        return QStringLiteral("<zh>") + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

TEST(ExportError, Messages)
{
    EXPECT_EQ(ExportError::ffmpegError(QStringLiteral("Invalid argument")).message(),
              QStringLiteral("FFmpeg: Invalid argument"));
    EXPECT_EQ(ExportError::sourceVideoMissing(QStringLiteral("/videos/ride %1.mov")).message(),
              QStringLiteral("Source video no longer exists on disk:\n/videos/ride %1.mov\n\nThe file referenced by "
                             "the project has been moved or deleted. Reload the video and try again."));
    EXPECT_EQ(ExportError::ffmpegNotFound().message(),
              QStringLiteral("FFmpeg runtime unavailable. The bundled copy could not be used, and no system FFmpeg "
                             "was found."));
    EXPECT_EQ(ExportError::renderError().message(), QStringLiteral("Failed to render overlay frames"));
    EXPECT_EQ(ExportError::cancelled().message(), QStringLiteral("Export cancelled"));
}

TEST(ExportError, OnlyFixedMessagesAreTranslated)
{
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    const QString ffmpeg = ExportError::ffmpegError(QStringLiteral("x")).message();
    const QString cancelled = ExportError::cancelled().message();
    const QString missing = ExportError::sourceVideoMissing(QStringLiteral("/a.mp4")).message();
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(ffmpeg, QStringLiteral("FFmpeg: x"));
    EXPECT_EQ(cancelled, QStringLiteral("<zh>Export cancelled"));
    EXPECT_TRUE(missing.startsWith(QStringLiteral("<zh>Source video")));
    EXPECT_TRUE(missing.contains(QStringLiteral("\n/a.mp4\n\n")));
}
