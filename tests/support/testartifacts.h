#pragma once

#include <QImage>
#include <QString>

// Folder for images that tests write for a person to look at: $ROUTEREEL_ARTIFACTS,
// else test-artifacts in the build folder. Never compared by the tests themselves.
QString testArtifactsDir();

// Saves `image` as <folder>/<name>.png; returns false when it cannot.
bool saveTestArtifact(const QImage &image, const QString &name);
