#include "maintoolbar.h"

#include "fileimport.h"
#include "linkbutton.h"
#include "toolbariconbuttonstyle.h"
#include "ui/state/windowstate.h"

#include "timeline/videoplayerservice.h"
#include "tracks/logstore.h"
#include "ui/icons/symbolicon.h"
#include "ui/panels/elidedlabel.h"
#include "ui/panels/focusview.h"
#include "ui/panels/panelstyle.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace routereel {

using panelstyle::Tone;

namespace {

const char symbolProperty[] = "routereelSymbol";

// Tab reaches the button and Space or Return presses it while it has the focus
// (the window's key handling gives it those keys); a click leaves the focus where
// it was, so Space after a click still plays.
void takesTabFocus(QToolButton *tile)
{
    tile->setFocusPolicy(Qt::TabFocus);
    focusview::showFocusRing(tile);
}

} // namespace

MainToolbar::MainToolbar(const Models &models, std::function<void()> switchLanguage, const ProductLinks &links,
                         QWidget *parent)
    : QToolBar(parent),
      m_models(models),
      m_switchLanguage(std::move(switchLanguage)),
      m_links(links),
      m_style(new ToolbarIconButtonStyle)
{
    setObjectName(QStringLiteral("mainToolbar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    toggleViewAction()->setVisible(false);
    setIconSize(QSize(16, 16));
    layout()->setSpacing(6);

    // Leading: the open project, or the product's page.
    m_projectLabel = new QWidget(this);
    m_projectLabel->setObjectName(QStringLiteral("currentProject"));
    auto *label = new QHBoxLayout(m_projectLabel);
    label->setContentsMargins(6, 0, 6, 0);
    label->setSpacing(0);
    m_projectPrefix = new QLabel(m_projectLabel);
    m_projectName = new ElidedLabel(Qt::ElideMiddle, 1, m_projectLabel);
    for (QLabel *part : {m_projectPrefix, static_cast<QLabel *>(m_projectName)}) {
        part->setFont(panelstyle::font(13, QFont::Medium));
        panelstyle::setTone(part, Tone::secondary);
        label->addWidget(part, 0, Qt::AlignVCenter);
    }
    m_projectName->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_projectItem = addWidget(m_projectLabel);

    m_website = new LinkButton(this);
    m_website->setObjectName(QStringLiteral("website"));
    m_website->setSymbol(QStringLiteral("globe"));
    m_website->setSymbolFont(panelstyle::font(12, QFont::DemiBold));
    m_website->setFont(panelstyle::font(13, QFont::DemiBold));
    m_website->setSpacing(5);
    m_website->setText(m_links.websiteName);
    connect(m_website, &QAbstractButton::clicked, this,
            [this] { m_links.openLink(m_links.websiteLink().toString()); });
    m_websiteItem = addWidget(m_website);

    auto *spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(spacer);

    // Trailing: the icon buttons, in their fixed order.
    m_language = addIconButton(QStringLiteral("language"));
    button(QStringLiteral("language"))->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button(QStringLiteral("language"))->setFont(panelstyle::font(11, QFont::DemiBold));
    connect(m_language, &QAction::triggered, this, [this] {
        if (m_switchLanguage)
            m_switchLanguage();
    });
    m_appearance = addIconButton(QStringLiteral("appearance"));
    connect(m_appearance, &QAction::triggered, this, [this] {
        WindowState &state = m_models.state;
        state.setAppAppearance(state.isDark() ? QStringLiteral("light") : QStringLiteral("dark"));
    });
    addSeparator();
    m_playPause = addIconButton(QStringLiteral("playPause"));
    m_playPause->setShortcut(QKeySequence(Qt::Key_Space));
    m_playPause->setShortcutContext(Qt::WindowShortcut);
    connect(m_playPause, &QAction::triggered, this, &MainToolbar::togglePlayback);
    m_importVideo = addIconButton(QStringLiteral("importVideo"));
    setSymbol(m_importVideo, QStringLiteral("film.fill"));
    connect(m_importVideo, &QAction::triggered, this, [this] { m_models.import.importVideoFromPanel(); });
    m_importTracks = addIconButton(QStringLiteral("importTracks"));
    setSymbol(m_importTracks, QStringLiteral("point.topleft.down.to.point.bottomright.curvepath.fill"));
    connect(m_importTracks, &QAction::triggered, this, [this] { m_models.import.importTracksFromPanel(); });
    m_exportPlace = addSeparator();
    m_cache = addIconButton(QStringLiteral("cache"));
    setSymbol(m_cache, QStringLiteral("internaldrive"));
    connect(m_cache, &QAction::triggered, this, [this] { m_models.state.setShowCacheSheet(true); });
    m_log = addIconButton(QStringLiteral("log"));
    connect(m_log, &QAction::triggered, this, &MainToolbar::openLogSheet);
    m_feedback = addIconButton(QStringLiteral("feedback"));
    setSymbol(m_feedback, QStringLiteral("envelope"));
    connect(m_feedback, &QAction::triggered, this, [this] { m_models.state.setShowFeedbackSheet(true); });
    // Without any address the sheet would be empty: no button then.
    for (QAction *item : actions()) {
        if (widgetForAction(item) == button(QStringLiteral("feedback")))
            item->setVisible(m_links.hasFeedback());
    }

    WindowState &state = m_models.state;
    connect(&state, &WindowState::projectURLChanged, this, &MainToolbar::updateNavigation);
    connect(&state, &WindowState::appLanguageChanged, this, &MainToolbar::updateLanguage);
    connect(&state, &WindowState::appAppearanceChanged, this, &MainToolbar::updateAppearance);
    connect(&m_models.player, &VideoPlayerService::isPlayingChanged, this, &MainToolbar::updatePlayback);
    // The end of play and a seek clear the intent without the player's state changing.
    connect(&m_models.player, &VideoPlayerService::wantsToPlayChanged, this, &MainToolbar::updatePlayback);
    connect(&m_models.player, &VideoPlayerService::isLoadedChanged, this, &MainToolbar::updatePlayback);
    connect(&m_models.log, &LogStore::unreadCountChanged, this, &MainToolbar::updateLog);

    updateNavigation();
    retranslate();
}

MainToolbar::~MainToolbar()
{
    // The buttons use the style until they go: delete them first.
    for (QToolButton *tile : findChildren<QToolButton *>()) {
        if (tile->style() == m_style)
            delete tile;
    }
    delete m_style;
}

QAction *MainToolbar::addIconButton(const QString &name)
{
    auto *action = new QAction(this);
    action->setObjectName(name + QStringLiteral("Action"));
    auto *tile = new QToolButton(this);
    tile->setObjectName(name);
    tile->setStyle(m_style);
    tile->setDefaultAction(action);
    tile->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tile->setIconSize(iconSize());
    takesTabFocus(tile);
    addWidget(tile);
    return action;
}

QToolButton *MainToolbar::button(const QString &name) const
{
    return findChild<QToolButton *>(name, Qt::FindDirectChildrenOnly);
}

QString MainToolbar::symbolOf(const QString &name) const
{
    const QToolButton *tile = button(name);
    return tile && tile->defaultAction() ? tile->defaultAction()->property(symbolProperty).toString() : QString();
}

void MainToolbar::setExportAction(QAction *action)
{
    if (m_exportItem) {
        delete widgetForAction(m_exportItem);
        m_exportItem = nullptr;
    }
    m_export = action;
    if (!action)
        return;
    auto *tile = new QToolButton(this);
    tile->setObjectName(QStringLiteral("export"));
    tile->setStyle(m_style);
    tile->setDefaultAction(action);
    tile->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tile->setIconSize(iconSize());
    takesTabFocus(tile);
    setSymbol(action, QStringLiteral("square.and.arrow.up.fill"));
    m_exportItem = insertWidget(m_exportPlace, tile);
    retranslate();
}

void MainToolbar::setSymbol(QAction *action, const QString &symbol, const QColor &color)
{
    action->setProperty(symbolProperty, symbol);
    action->setIcon(color.isValid() ? symbolIcon(symbol, color) : symbolIcon(symbol));
}

void MainToolbar::togglePlayback()
{
    // What the user asked for counts, not only what the player reports: a press
    // while a seek holds the player back still pauses.
    VideoPlayerService &player = m_models.player;
    if (player.isPlaying() || player.wantsToPlay())
        player.pause();
    else
        player.play();
    updatePlayback();
}

void MainToolbar::openLogSheet()
{
    m_models.state.setShowLogSheet(true);
    m_models.log.setUnreadCount(0);
}

void MainToolbar::updateNavigation()
{
    const QUrl url = m_models.state.projectURL();
    const bool open = url.isValid() && !url.isEmpty();
    if (open) {
        // Only the last extension goes: "trip.final.rrl" is "trip.final".
        const QString fileName = url.fileName();
        const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
        m_projectName->setText(dot > 0 ? fileName.left(dot) : fileName);
        m_projectLabel->setToolTip(url.isLocalFile() ? url.toLocalFile() : url.path());
        // The path says more than the cut name would on its own.
        m_projectName->setToolTip(m_projectLabel->toolTip());
    }
    m_projectItem->setVisible(open);
    m_websiteItem->setVisible(!open && m_links.hasWebsite());
}

void MainToolbar::updateLanguage()
{
    // Each language names the other in that other language, so neither text is translated.
    const bool english = m_models.state.appLanguage() == QLatin1String("en");
    m_language->setText(english ? QStringLiteral("EN") : QStringLiteral("中"));
    m_language->setToolTip(english ? QStringLiteral("切换到中文") : QStringLiteral("Switch to English"));
    button(QStringLiteral("language"))->setAccessibleName(m_language->toolTip());
}

void MainToolbar::updateAppearance()
{
    const bool dark = m_models.state.isDark();
    setSymbol(m_appearance, dark ? QStringLiteral("sun.max.fill") : QStringLiteral("moon.fill"));
    m_appearance->setToolTip(dark ? tr("Switch to Light Mode") : tr("Switch to Dark Mode"));
    button(QStringLiteral("appearance"))->setAccessibleName(m_appearance->toolTip());
}

void MainToolbar::updatePlayback()
{
    const VideoPlayerService &player = m_models.player;
    const bool playing = player.isPlaying() || player.wantsToPlay();
    setSymbol(m_playPause, playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
    m_playPause->setEnabled(player.isLoaded());
    button(QStringLiteral("playPause"))->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}

void MainToolbar::updateLog()
{
    if (m_models.log.unreadCount() > 0)
        setSymbol(m_log, QStringLiteral("exclamationmark.bubble.fill"), panelstyle::color(Tone::red, palette()));
    else
        setSymbol(m_log, QStringLiteral("doc.text"));
}

void MainToolbar::retranslate()
{
    setWindowTitle(tr("Toolbar"));
    m_projectPrefix->setText(tr("Current Project: "));
    m_website->setToolTip(tr("Open %1").arg(m_links.websiteName));
    const std::pair<QAction *, QString> tips[] = {
        {m_importVideo, tr("Import Video")}, {m_importTracks, tr("Import GPX")}, {m_cache, tr("Cache")},
        {m_log, tr("Log")},                  {m_feedback, tr("Feedback")},
    };
    for (const auto &[action, tip] : tips)
        action->setToolTip(tip);
    // The export command is named by the button that shows it, in the language of the moment.
    if (m_export) {
        m_export->setText(tr("Export"));
        m_export->setToolTip(tr("Export"));
    }
    for (QToolButton *tile : findChildren<QToolButton *>()) {
        if (tile->defaultAction() && !tile->defaultAction()->toolTip().isEmpty())
            tile->setAccessibleName(tile->defaultAction()->toolTip());
    }
    updateLanguage();
    updateAppearance();
    updatePlayback();
    updateLog();  // its red follows the palette
}

void MainToolbar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (!m_feedback)  // still being built
        return;
    panelstyle::followChange(this, event, [this] { retranslate(); });
}

} // namespace routereel
