#include "testartifacts.h"

#include <QCoreApplication>
#include <QDir>

QString testArtifactsDir()
{
    QString dir = qEnvironmentVariable("ROUTEREEL_ARTIFACTS");
    if (dir.isEmpty()) {
        // Test binaries live at various depths below the build folder: find it.
        QDir build(QCoreApplication::applicationDirPath());
        while (!build.exists(QStringLiteral("CMakeCache.txt")) && build.cdUp()) {
        }
        dir = build.filePath(QStringLiteral("test-artifacts"));
    }
    dir = QDir::cleanPath(dir);
    QDir().mkpath(dir);
    return dir;
}

bool saveTestArtifact(const QImage &image, const QString &name)
{
    return !image.isNull() && image.save(testArtifactsDir() + QLatin1Char('/') + name + QStringLiteral(".png"));
}
