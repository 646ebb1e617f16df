#include "quitwait.h"

#include "project/projectsession.h"
#include "ui/main/windowanswers.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace routereel {

namespace {

constexpr int pollMs = 200;

} // namespace

QuitWait::QuitWait(ProjectSession &session, QWidget &window, QObject *parent)
    : QObject(parent), m_session(session), m_window(window)
{
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, &QuitWait::check);
}

QuitWait::~QuitWait()
{
    delete m_dialog;
}

QDialog *QuitWait::dialog() const
{
    return m_dialog;
}

void QuitWait::start(std::function<void()> done)
{
    m_done = std::move(done);
    m_since.start();
    m_still.start();
    m_poll.start();
    QTimer::singleShot(0, this, &QuitWait::check);
}

void QuitWait::check()
{
    if (m_gaveUp || m_finished)
        return;
    if (m_session.isSettled()) {
        finish();
        return;
    }
    const ProjectStage::Motion motion = m_session.quitMotion();
    if (!m_lastMotion || *m_lastMotion != motion) {
        m_lastMotion = motion;
        m_still.restart();
    }
    if (m_still.hasExpired(stillLimitMs)) {
        giveUp();
        return;
    }
    if (m_since.hasExpired(showAfterMs))
        showWaiting();
}

void QuitWait::showWaiting()
{
    if (!m_dialog) {
        m_dialog = new QDialog(&m_window);
        m_dialog->setObjectName(QStringLiteral("quitWait"));
        // The quit's own message holds back nothing the user asked for.
        m_dialog->setProperty(WindowAnswers::notAnswering, true);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setWindowTitle(QStringLiteral("routereel"));
        auto *layout = new QVBoxLayout(m_dialog);
        m_text = new QLabel(m_dialog);
        m_text->setObjectName(QStringLiteral("quitWaitText"));
        m_text->setTextFormat(Qt::PlainText);
        m_text->setWordWrap(true);
        m_text->setMinimumWidth(360);
        layout->addWidget(m_text);
        auto *buttons = new QDialogButtonBox(m_dialog);
        m_button = buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
        m_button->setObjectName(QStringLiteral("quitNow"));
        layout->addWidget(buttons);
        connect(m_button, &QPushButton::clicked, this, &QuitWait::quitNow);
        // Escape or the close button: the user does not want to wait either.
        connect(m_dialog, &QDialog::rejected, this, &QuitWait::quitNow);
    }
    const QStringList what = m_session.quitWaitsFor();
    QString text = tr("Quitting once these are carried out:");
    for (const QString &item : what)
        text += QStringLiteral("\n• ") + item;
    m_text->setText(text);
    m_button->setText(tr("Quit Now"));
    m_button->setAccessibleName(m_button->text());
    if (!m_dialog->isVisible())
        m_dialog->open();
}

void QuitWait::giveUp()
{
    m_gaveUp = true;
    m_poll.stop();
    const QStringList what = m_session.quitWaitsFor();
    const QString why = tr("Nothing moved for %1 seconds.").arg(stillLimitMs / 1000);
    m_session.giveUpBeforeQuit(why);
    // The user reads what was not carried out before the window goes.
    showWaiting();
    m_text->setText(ProjectSession::notCarriedOutText(what, why));
    m_button->setText(tr("Quit"));
    m_button->setAccessibleName(m_button->text());
}

void QuitWait::quitNow()
{
    if (m_finished)
        return;
    if (!m_gaveUp)
        m_session.giveUpBeforeQuit(tr("The user quit without waiting."));
    finish();
}

void QuitWait::finish()
{
    if (std::exchange(m_finished, true))
        return;
    m_poll.stop();
    if (m_dialog) {
        m_dialog->disconnect(this);
        m_dialog->hide();
    }
    QTimer::singleShot(0, this, [this] {
        if (m_done)
            m_done();
    });
}

} // namespace routereel
