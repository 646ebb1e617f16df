#include "exporttestutil.h"

#include "export/exporterror.h"

using namespace routereel;

TEST(ExportError, Messages)
{
    EXPECT_EQ(ExportError::ffmpegError(QStringLiteral("Invalid argument")).message(),
              QStringLiteral("FFmpeg: Invalid argument"));
    EXPECT_EQ(ExportError::sourceVideoMissing(QStringLiteral("/videos/ride %1.mov")).message(),
              QStringLiteral("Source video no longer exists on disk:\n/videos/ride %1.mov\n\nThe file referenced by "
                             "the project has been moved or deleted. Reload the video and try again."));
    EXPECT_EQ(ExportError::sourceVideoUnreadable(QStringLiteral("/share/ride %1.mov"), QStringLiteral("Input/output error"))
                  .message(),
              QStringLiteral("The source video \"/share/ride %1.mov\" cannot be read: Input/output error\n\nIts drive "
                             "or network folder may not be answering. Check that it is connected and try again."));
    EXPECT_EQ(ExportError::ffmpegNotFound().message(),
              QStringLiteral("FFmpeg runtime unavailable. The bundled copy could not be used, and no system FFmpeg "
                             "was found."));
    EXPECT_EQ(ExportError::renderError().message(), QStringLiteral("Failed to render overlay frames"));
    EXPECT_EQ(ExportError::cancelled().message(), QStringLiteral("Export cancelled"));
}

TEST(ExportError, OnlyFixedMessagesAreTranslated)
{
    std::optional<exporttest::MarkingTranslator> translator(std::in_place);
    const QString ffmpeg = ExportError::ffmpegError(QStringLiteral("x")).message();
    const QString cancelled = ExportError::cancelled().message();
    const QString missing = ExportError::sourceVideoMissing(QStringLiteral("/a.mp4")).message();
    translator.reset();

    EXPECT_EQ(ffmpeg, QStringLiteral("FFmpeg: x"));
    EXPECT_EQ(cancelled, QStringLiteral("<zh>Export cancelled"));
    EXPECT_TRUE(missing.startsWith(QStringLiteral("<zh>Source video")));
    EXPECT_TRUE(missing.contains(QStringLiteral("\n/a.mp4\n\n")));
}
