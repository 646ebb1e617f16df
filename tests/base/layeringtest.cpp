#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

// The core modules build on each other in one direction only: a file of a
// module (its views included) may include its own module and those below it.
TEST(Layering, CoreIncludesRunDownward)
{
    const QStringList order{QStringLiteral("base"),   QStringLiteral("tracks"), QStringLiteral("timeline"),
                            QStringLiteral("widgets"), QStringLiteral("maps"),   QStringLiteral("export"),
                            QStringLiteral("project")};
    const QString src = QStringLiteral(ROUTEREEL_SOURCE_DIR "/src");
    const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s+"([a-z]+)/)"),
                                     QRegularExpression::MultilineOption);
    QStringList upward;
    int files = 0;
    for (const QString &module : order) {
        QDirIterator it(src + QLatin1Char('/') + module, {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            ++files;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto m = include.globalMatch(text); m.hasNext();) {
                const QString target = m.next().captured(1);
                if (order.indexOf(target) > order.indexOf(module))
                    upward << file.fileName().mid(src.size() + 1) + QStringLiteral(" -> ") + target;
            }
        }
    }
    EXPECT_GT(files, 100);
    EXPECT_TRUE(upward.isEmpty()) << upward.join(QLatin1Char('\n')).toStdString();
}
