#pragma once

#include "productlinks.h"

#include <QPointer>
#include <QToolBar>

#include <functional>

class QLabel;
class QToolButton;

namespace routereel {

class ElidedLabel;
class FileImport;
class LinkButton;
class LogStore;
class ToolbarIconButtonStyle;
class VideoPlayerService;
class WindowState;

// The window's toolbar: on the leading side the open project's name, or a link
// to the product's page when no project file is open; on the trailing side the
// icon buttons for language, appearance, play/pause (Space), import video,
// import tracks, export, cache, log (red while unread entries wait) and feedback.
// It keeps no state of its own: everything it shows follows the window state,
// the player and the log.
class MainToolbar : public QToolBar {
    Q_OBJECT

public:
    struct Models {
        WindowState &state;
        VideoPlayerService &player;
        FileImport &import;
        LogStore &log;
    };

    // `switchLanguage` is the window's language switch ("en" ↔ "zh-Hans").
    MainToolbar(const Models &models, std::function<void()> switchLanguage, const ProductLinks &links,
                QWidget *parent = nullptr);
    ~MainToolbar() override;

    // The export command (enabled exactly while an export can start); the Export
    // button appears once it is given.
    void setExportAction(QAction *action);

    QToolButton *button(const QString &name) const;
    QAction *playPauseAction() const { return m_playPause; }
    // The symbol each button shows now (tests and accessibility descriptions).
    QString symbolOf(const QString &name) const;

protected:
    void changeEvent(QEvent *event) override;

private:
    QAction *addIconButton(const QString &name);
    void togglePlayback();
    void openLogSheet();
    void updateNavigation();
    void updateLanguage();
    void updateAppearance();
    void updatePlayback();
    void updateLog();
    void setSymbol(QAction *action, const QString &symbol, const QColor &color = {});
    void retranslate();

    Models m_models;
    std::function<void()> m_switchLanguage;
    ProductLinks m_links;
    ToolbarIconButtonStyle *m_style = nullptr;
    QWidget *m_projectLabel = nullptr;
    QLabel *m_projectPrefix = nullptr;
    ElidedLabel *m_projectName = nullptr;
    LinkButton *m_website = nullptr;
    QAction *m_projectItem = nullptr;
    QAction *m_websiteItem = nullptr;
    QAction *m_language = nullptr;
    QAction *m_appearance = nullptr;
    QAction *m_playPause = nullptr;
    QAction *m_importVideo = nullptr;
    QAction *m_importTracks = nullptr;
    QPointer<QAction> m_export;
    QAction *m_exportItem = nullptr;
    QAction *m_cache = nullptr;
    QAction *m_log = nullptr;
    QAction *m_feedback = nullptr;
    QAction *m_exportPlace = nullptr;
};

} // namespace routereel
