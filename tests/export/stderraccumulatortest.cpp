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
    StderrAccumulator acc;
    QString expected;
    for (int i = 1; i <= 15; ++i) {
        acc.append(QStringLiteral("line %1\n").arg(i));
        if (i >= 7)
            expected += QStringLiteral("line %1\n").arg(i);
        if (i == 2)
            EXPECT_EQ(acc.tail(), QStringLiteral("line 1\nline 2\n"));
    }
    EXPECT_EQ(acc.tail(), expected);
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
