#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

// Files under each folder of `levels` whose includes name a folder of a higher level.
QStringList upwardIncludes(const QList<QPair<QString, int>> &levels, int *files)
{
    const QString src = QStringLiteral(ROUTEREEL_SOURCE_DIR "/src");
    const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s+"([a-z]+(?:/[a-z]+)?)/)"),
                                     QRegularExpression::MultilineOption);
    const auto levelOf = [&](const QString &path) {
        for (const auto &[folder, level] : levels)
            if (path == folder || path.startsWith(folder + QLatin1Char('/')))
                return level;
        return -1;
    };
    QStringList upward;
    for (const auto &[folder, level] : levels) {
        QDirIterator it(src + QLatin1Char('/') + folder, {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                return {file.fileName() + QStringLiteral(" unreadable")};
            ++*files;
            const QString text = QString::fromUtf8(file.readAll());
            for (auto m = include.globalMatch(text); m.hasNext();) {
                const QString target = m.next().captured(1);
                if (levelOf(target) > level)
                    upward << file.fileName().mid(src.size() + 1) + QStringLiteral(" -> ") + target;
            }
        }
    }
    return upward;
}

} // namespace

// Modules build on each other in one direction only: a file of a module (its
// views included) may include its own module and those below it.
TEST(Layering, IncludesRunDownward)
{
    QList<QPair<QString, int>> core;
    for (const char *module : {"base", "tracks", "timeline", "widgets", "maps", "export", "project"})
        core.append({QString::fromLatin1(module), int(core.size())});
    int coreFiles = 0;
    const QStringList coreUpward = upwardIncludes(core, &coreFiles);
    EXPECT_GT(coreFiles, 100);
    EXPECT_TRUE(coreUpward.isEmpty()) << coreUpward.join(QLatin1Char('\n')).toStdString();

    // The window builds the panels and the timeline, which share only the state below them.
    const QList<QPair<QString, int>> ui{{QStringLiteral("ui/icons"), 0},    {QStringLiteral("ui/state"), 0},
                                        {QStringLiteral("ui/panels"), 1},   {QStringLiteral("ui/timeline"), 1},
                                        {QStringLiteral("ui/main"), 2},     {QStringLiteral("app"), 3}};
    int uiFiles = 0;
    const QStringList uiUpward = upwardIncludes(ui, &uiFiles);
    EXPECT_GT(uiFiles, 50);
    EXPECT_TRUE(uiUpward.isEmpty()) << uiUpward.join(QLatin1Char('\n')).toStdString();
}
