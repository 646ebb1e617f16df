#include "support/testenvironment.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// Core tests draw images and use fonts, so they need a QGuiApplication.
int main(int argc, char **argv)
{
    setUpIsolatedTestEnvironment();
    // Core code never needs a real display; offscreen keeps these tests off Xvfb.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("routereel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
