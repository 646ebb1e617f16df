#include "mainwindow.h"

#include "windowsheets.h"

#include "ui/panels/cachesheet.h"
#include "ui/panels/exportqueuebar.h"
#include "ui/panels/logsheet.h"
#include "ui/panels/settingspanelview.h"

namespace routereel {

void MainWindow::installViews()
{
    replacePlaceholder(QStringLiteral("inspector"),
                       new SettingsPanelView(mapSettings(), timeSettings(), speedSettings(), gpsPathSettings(),
                                             heartRateSettings(), heartRateGraphSettings(), m_state, gpxService()));
    replacePlaceholder(QStringLiteral("exportBar"), new ExportQueueBar(exportQueue(), m_state));

    sheets().setFactory(WindowSheets::Sheet::log,
                        [this](QWidget *window) { return new LogSheet(logStore(), m_state, window); });
    sheets().setFactory(WindowSheets::Sheet::cache, [this](QWidget *window) {
        return new CacheSheet(exportQueue(), tileCache(), logStore(), m_state, window);
    });
}

} // namespace routereel
