#include "mainwindow.h"

#include "compositionmodepicker.h"
#include "exportaction.h"
#include "exportsheet.h"
#include "feedbacksheet.h"
#include "maintoolbar.h"
#include "networkmonitor.h"
#include "tokensheet.h"
#include "windowsheets.h"

#include "project/projectsession.h"

#include "ui/panels/cachesheet.h"
#include "ui/panels/deletedispatcher.h"
#include "ui/panels/exportqueuebar.h"
#include "ui/panels/logsheet.h"
#include "ui/panels/previewareaview.h"
#include "ui/panels/settingspanelview.h"
#include "ui/timeline/timelineview.h"

namespace routereel {

void MainWindow::installViews()
{
    auto *preview = new PreviewAreaView({playerService(), clock(), gpxService(), engine(), mapSettings(), timeSettings(),
                                         speedSettings(), gpsPathSettings(), heartRateSettings(),
                                         heartRateGraphSettings()},
                                        m_state, [this] { importFiles(); });
    replacePlaceholder(QStringLiteral("previewArea"), preview);
    new DeleteDispatcher(*preview, engine(), this);
    replacePlaceholder(QStringLiteral("inspector"),
                       new SettingsPanelView(mapSettings(), timeSettings(), speedSettings(), gpsPathSettings(),
                                             heartRateSettings(), heartRateGraphSettings(), m_state, gpxService()));
    replacePlaceholder(QStringLiteral("exportBar"), new ExportQueueBar(exportQueue(), m_state));
    replacePlaceholder(QStringLiteral("timelinePanel"),
                       new TimelineView(playerService(), clock(), gpxService(), engine(), m_state));

    // The export front end: the Export command (the toolbar shows it), the mode row, the export sheet.
    m_exportAction = new ExportAction({{gpxService(), engine(), mapSettings(), timeSettings(), speedSettings(),
                                        gpsPathSettings(), heartRateSettings(), heartRateGraphSettings()},
                                       playerService(),
                                       exportQueue()},
                                      m_state, [this] { return networkMonitor().isConnected(); },
                                      [this](const QString &message) { presentError(message); }, this);
    m_exportAction->setProtectedFiles([this] { return session().protectedFiles(); });
    // Never the state from before a project asked for has been read and restored,
    // nor before an import or a Save asked earlier has ended.
    m_exportAction->setUnsettled([this] {
        const ProjectStage &stage = session().stage();
        return ExportAction::Unsettled{session().isRestoringVideo() || stage.stage() != ProjectStage::Stage::ready,
                                       stage.underWay()};
    });
    m_exportAction->setAnswering([this] { return session().stage().answering(); });
    addAction(m_exportAction->action());
    replacePlaceholder(QStringLiteral("modePicker"), new CompositionModePicker(m_state));
    sheets().setFactory(WindowSheets::Sheet::exportSettings,
                        [this](QWidget *window) { return new ExportSheet(*m_exportAction, m_state, window); });

    sheets().setFactory(WindowSheets::Sheet::log,
                        [this](QWidget *window) { return new LogSheet(logStore(), m_state, window); });
    sheets().setFactory(WindowSheets::Sheet::cache, [this](QWidget *window) {
        return new CacheSheet(exportQueue(), tileCache(), logStore(), m_state, window);
    });

    const ProductLinks links = ProductLinks::fromBuild();
    auto *toolbar = new MainToolbar({m_state, playerService(), fileImport(), logStore()}, [this] { setLanguage(); },
                                    links, this);
    toolbar->setExportAction(m_exportAction->action());
    addToolBar(Qt::TopToolBarArea, toolbar);
    // The token typed last outlives each showing of the sheet.
    auto draft = std::make_shared<std::optional<QString>>();
    sheets().setFactory(WindowSheets::Sheet::token, [this, draft, links](QWidget *window) {
        return new TokenSheet(m_state, draft, links, window);
    });
    sheets().setFactory(WindowSheets::Sheet::feedback,
                        [links](QWidget *window) { return new FeedbackSheet(links, window); });
}

} // namespace routereel
