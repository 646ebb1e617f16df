#pragma once

#include <QMainWindow>

namespace routereel {

// The single document window; owns the model objects for its whole life.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
};

} // namespace routereel
