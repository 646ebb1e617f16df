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

TEST(StderrAccumulator, TailIsTheLastTenPieces)
{
    QString fifteen;
    for (int i = 1; i <= 15; ++i)
        fifteen += QStringLiteral("line %1\n").arg(i);
    QString lastNine;
    for (int i = 7; i <= 15; ++i)
        lastNine += QStringLiteral("line %1\n").arg(i);
    // A 900-character line is kept whole when it is among the last ten; no line is left out.
    const QString banner = QStringLiteral("[libx264 @ 0x1] 264 - core 164 - options: ") + QString(900, u'x');
    struct Case {
        const char *name;
        QString text;
        QString expected;
    };
    const QList<Case> cases = {
        {"two lines", QStringLiteral("a\nb\n"), QStringLiteral("a\nb\n")},
        {"fifteen lines", fifteen, lastNine},
        {"no newline at the end", QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11"),
         QStringLiteral("2\n3\n4\n5\n6\n7\n8\n9\n10\n11")},
        {"progress pieces are not split", QStringLiteral("frame=  1\rframe=  2\rError opening output\n"),
         QStringLiteral("frame=  1\rframe=  2\rError opening output\n")},
        {"long lines", banner + QStringLiteral("\nNo space left on device\n"),
         banner + QStringLiteral("\nNo space left on device\n")},
        // Only the last 4096 characters count: a few long lines give fewer pieces.
        {"beyond the buffer", QString(5000, u'y') + QStringLiteral("\nend"), QString(4092, u'y') + QStringLiteral("\nend")},
        {"empty", QString(), QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StderrAccumulator acc;
        acc.append(c.text);
        EXPECT_EQ(acc.tail().toStdString(), c.expected.toStdString());
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

// The line saying ffmpeg could not read an input counts however much it wrote
// after it, and however its reads cut it up.
TEST(StderrAccumulator, KeepsTheFirstLineOfAWatchedInput)
{
    const QString input = QStringLiteral("file:/clips/ride 1.mp4: ");
    const QString failed = input + QStringLiteral("Input/output error");
    const QString noise = QStringLiteral("[h264 @ 0x1] error while decoding MB 4 8\n").repeated(200);
    struct Case {
        const char *name;
        QString text;
        std::optional<QString> expected;
    };
    const QList<Case> cases = {
        {"followed by more than the buffer holds", noise + failed + QStringLiteral("\n") + noise, failed},
        {"the first of several", failed + QStringLiteral("\n") + input + QStringLiteral("Invalid data\n"), failed},
        {"after a progress piece", QStringLiteral("frame=  2\r") + failed + QStringLiteral("\n"), failed},
        {"the last line, unended", noise + failed, failed},
        {"the name inside another line", QStringLiteral("Error opening ") + failed + QStringLiteral("\n"),
         std::nullopt},
        {"another input", QStringLiteral("file:/clips/ride 2.mp4: Input/output error\n"), std::nullopt},
        {"nothing said", QString(), std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        StderrAccumulator acc(QStringList{QStringLiteral("pipe:0: "), input});
        for (char byte : c.text.toUtf8())
            acc.appendBytes(QByteArray(1, byte));
        acc.finish();
        EXPECT_EQ(acc.firstWatchedLine(), c.expected);
    }
    StderrAccumulator unwatched;
    unwatched.append(failed + QStringLiteral("\n"));
    EXPECT_EQ(unwatched.firstWatchedLine(), std::nullopt);
}
