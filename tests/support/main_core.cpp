#include "support/testenvironment.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

// Core tests draw images and use fonts, so they need a QGuiApplication (offscreen).
int main(int argc, char **argv)
{
    setUpIsolatedTestEnvironment();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("routereel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
