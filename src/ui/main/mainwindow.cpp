#include "mainwindow.h"

namespace routereel {

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("routereel"));
    resize(1280, 720);
}

} // namespace routereel
