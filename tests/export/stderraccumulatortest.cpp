#include "export/stderraccumulator.h"
#include "export/stderrreader.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace routereel;

TEST(StderrAccumulator, KeepsTheLast4096Characters)
{
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += QChar(u'a' + i % 26);
    StderrAccumulator big;
    big.append(text);
    EXPECT_EQ(big.buffer(), text.right(4096));

    StderrAccumulator exact;
    exact.append(text.left(4096));
    EXPECT_EQ(exact.buffer(), text.left(4096));
    exact.append(QStringLiteral("!"));
    EXPECT_EQ(exact.buffer(), text.mid(1, 4095) + QStringLiteral("!"));

    // the cut never leaves half a surrogate pair behind
    StderrAccumulator pairs;
    QString emoji;
    for (int i = 0; i < 3000; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x8E\xAC");
    pairs.append(emoji + QStringLiteral("x"));
    EXPECT_TRUE(pairs.buffer().front().isHighSurrogate());
    EXPECT_EQ(pairs.buffer().size(), 4095);
}

TEST(StderrAccumulator, ErrorLinesLeaveOutProgressStatisticsAndDescriptions)
{
    // What ffmpeg 5.1 writes when the disk fills up: the errors sit between
    // progress lines (ended by a carriage return) and x264's closing statistics.
    const QString fullDisk = QStringLiteral(
        "ffmpeg version 5.1 Copyright (c) 2000-2024 the FFmpeg developers\n"
        "  built with gcc 12\n"
        "Input #0, rawvideo, from 'pipe:0':\n"
        "  Duration: N/A, start: 0.000000, bitrate: 27648 kb/s\n"
        "Stream mapping:\n"
        "  Stream #0:0 (rawvideo) -> setsar:default\n"
        "[libx264 @ 0x55ba0af88140] using cpu capabilities: MMX2 SSE2Fast AVX2\n"
        "[libx264 @ 0x55ba0af88140] profile High, level 2.0, 4:2:0, 8-bit\n"
        "Output #0, mp4, to 'file:/x/.routereel-export-AbC123/video.mp4':\n"
        "    Side data:\n"
        "frame=    1 fps=0.0 q=0.0 size=       0kB time=00:00:00.00 bitrate=N/A speed=N/A    \r"
        "av_interleaved_write_frame(): No space left on device\n"
        "    Last message repeated 8 times\n"
        "Error writing trailer of file:/x/video.mp4: No space left on device\n"
        "frame=   90 fps=0.0 q=-1.0 Lsize=     286kB time=00:00:02.90 bitrate= 809.0kbits/s speed=8.42x    \n"
        "video:258kB audio:0kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 11.0%\n"
        "Error closing file file:/x/video.mp4: No space left on device\n"
        "[libx264 @ 0x55ba0af88140] frame I:1     Avg QP:16.37  size:  5922\n"
        "[libx264 @ 0x55ba0af88140] mb P  I16..4:  4.6%  0.9%  1.4%  P16..4: 12.3%\n"
        "[libx264 @ 0x55ba0af88140] final ratefactor: 7.48\n"
        "[libx264 @ 0x55ba0af88140] i8c dc,h,v,p: 56% 12% 31%  1%\n"
        "[libx264 @ 0x55ba0af88140] ref B L1: 94.9%  5.1%\n"
        "[libx264 @ 0x55ba0af88140] kb/s:704.50\n"
        "Conversion failed!\n");
    const QString errors = QStringLiteral("av_interleaved_write_frame(): No space left on device\n"
                                          "Error writing trailer of file:/x/video.mp4: No space left on device\n"
                                          "Error closing file file:/x/video.mp4: No space left on device\n"
                                          "Conversion failed!");
    struct Case {
        const char *name;
        QString text;
        int count;
        QString expected;
    };
    const QList<Case> cases = {
        {"full disk", fullDisk, 5, errors},
        {"only the last ones", fullDisk, 2, errors.section(QLatin1Char('\n'), 2)},
        {"an unknown encoder line is an error",
         QStringLiteral("[libx264 @ 0x1] broken ffmpeg default settings detected\nframe=  3\r"), 5,
         QStringLiteral("[libx264 @ 0x1] broken ffmpeg default settings detected")},
        {"nothing but progress", QStringLiteral("frame=  1 fps=0\rframe=  2 fps=0\r\n\n"), 5, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StderrAccumulator acc;
        acc.append(c.text);
        EXPECT_EQ(acc.errorLines(c.count).toStdString(), c.expected.toStdString());
    }
}

TEST(StderrAccumulator, CharacterSplitAcrossReadsSurvives)
{
    StderrAccumulator acc;
    const QByteArray text = QString::fromUtf8("Opening /home/zoë/骑行.mov 🎬\n").toUtf8();
    // one byte at a time splits every multi-byte character
    for (char byte : text)
        acc.appendBytes(QByteArray(1, byte));
    acc.finish();
    EXPECT_EQ(acc.buffer().toUtf8(), text);

    StderrAccumulator broken;
    broken.appendBytes(QByteArray("bad \xFF byte, cut \xE9\xAA"));
    EXPECT_EQ(broken.buffer(), QString::fromUtf8("bad \xEF\xBF\xBD byte, cut "));
    broken.finish();
    EXPECT_EQ(broken.buffer(), QString::fromUtf8("bad \xEF\xBF\xBD byte, cut ") + QString::fromUtf8("\xE9\xAA"));
}

TEST(StderrReader, ReadsThePipeToTheEnd)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto acc = std::make_shared<StderrAccumulator>();
    StderrReader reader(fds[0], acc);

    ASSERT_EQ(write(fds[1], "ab\xE9", 3), 3);
    // let the reader see the first part on its own
    QElapsedTimer timer;
    timer.start();
    while (acc->buffer() != QStringLiteral("ab") && timer.elapsed() < 10'000)
        QThread::msleep(5);
    ASSERT_EQ(acc->buffer(), QStringLiteral("ab"));
    ASSERT_EQ(write(fds[1], "\xAA\x91 done\n", 8), 8);
    close(fds[1]);
    reader.wait();
    EXPECT_EQ(acc->buffer(), QString::fromUtf8("ab\xE9\xAA\x91 done\n"));
}
