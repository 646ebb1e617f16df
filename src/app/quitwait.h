#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "project/projectstage.h"

#include <functional>
#include <optional>

class QDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace routereel {

class ProjectSession;

// The quit waits, in the window, for what the user asked before it (a Save
// behind an import, an open still read): it shows what it waits for and a way
// to quit now. The wait has no limit while something moves; what stands still
// for stillLimitMs is given up, and the window shows what was not carried out
// until the user lets it go.
class QuitWait : public QObject {
    Q_OBJECT

public:
    static constexpr int stillLimitMs = 5000;
    // Nothing is shown for a wait shorter than this (a last write of the autosave).
    static constexpr int showAfterMs = 300;

    QuitWait(ProjectSession &session, QWidget &window, QObject *parent = nullptr);
    ~QuitWait() override;

    // `done` runs once, from the event loop, when the window may go.
    void start(std::function<void()> done);
    // The dialog while it is shown (tests, screenshots).
    QDialog *dialog() const;

private:
    void check();
    void showWaiting();
    void giveUp();
    void quitNow();
    void finish();

    ProjectSession &m_session;
    QWidget &m_window;
    std::function<void()> m_done;
    QTimer m_poll;
    QElapsedTimer m_since;
    QElapsedTimer m_still;
    std::optional<ProjectStage::Motion> m_lastMotion;
    QPointer<QDialog> m_dialog;
    QLabel *m_text = nullptr;
    QPushButton *m_button = nullptr;
    bool m_gaveUp = false;
    bool m_finished = false;
};

} // namespace routereel
