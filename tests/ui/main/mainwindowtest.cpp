#include "ui/main/mainwindow.h"

#include <gtest/gtest.h>

using namespace routereel;

TEST(MainWindow, OpensWithTitleAndDefaultSize)
{
    MainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("routereel"));
    EXPECT_EQ(window.size(), QSize(1280, 720));
    EXPECT_FALSE(window.grab().isNull());
}
