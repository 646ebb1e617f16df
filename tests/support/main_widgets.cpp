#include "support/testenvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    setUpIsolatedTestEnvironment();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("routereel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
