#include "mainwindow.h"

#include "feedbacksheet.h"
#include "maintoolbar.h"
#include "tokensheet.h"
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

    const ProductLinks links = ProductLinks::fromBuild();
    addToolBar(Qt::TopToolBarArea, new MainToolbar({m_state, playerService(), fileImport(), logStore()},
                                                   [this] { setLanguage(); }, links, this));
    // The token typed last outlives each showing of the sheet.
    auto draft = std::make_shared<std::optional<QString>>();
    sheets().setFactory(WindowSheets::Sheet::token, [this, draft, links](QWidget *window) {
        return new TokenSheet(m_state, draft, links, window);
    });
    sheets().setFactory(WindowSheets::Sheet::feedback,
                        [links](QWidget *window) { return new FeedbackSheet(links, window); });
}

} // namespace routereel
