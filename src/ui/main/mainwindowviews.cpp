#include "mainwindow.h"

#include "ui/panels/settingspanelview.h"

namespace routereel {

void MainWindow::installViews()
{
    replacePlaceholder(QStringLiteral("inspector"),
                       new SettingsPanelView(mapSettings(), timeSettings(), speedSettings(), gpsPathSettings(),
                                             heartRateSettings(), heartRateGraphSettings(), m_state, gpxService()));
}

} // namespace routereel
