#include "windowalerts.h"

#include "ui/state/windowstate.h"

#include <QMessageBox>
#include <QPushButton>

namespace routereel {

namespace {

QMessageBox *makeBox(QWidget *window, const QString &name)
{
    auto *box = new QMessageBox(window);
    box->setObjectName(name);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::WindowModal);
    return box;
}

} // namespace

WindowAlerts::WindowAlerts(WindowState &state, QWidget *window)
    : QObject(window), m_state(state)
{
    m_errorBox = makeBox(window, QStringLiteral("errorAlert"));
    m_viewLog = m_errorBox->addButton(QString(), QMessageBox::ActionRole);
    m_errorOK = m_errorBox->addButton(QString(), QMessageBox::RejectRole);
    m_errorBox->setDefaultButton(m_errorOK);
    m_errorBox->setEscapeButton(m_errorOK);
    connect(m_errorBox, &QMessageBox::finished, this, [this] {
        const bool viewLog = m_errorBox->clickedButton() == m_viewLog;
        m_state.setShowError(false);
        if (viewLog)
            m_state.setShowLogSheet(true);
    });

    m_networkBox = makeBox(window, QStringLiteral("networkAlert"));
    m_networkOK = m_networkBox->addButton(QString(), QMessageBox::RejectRole);
    m_networkBox->setEscapeButton(m_networkOK);
    connect(m_networkBox, &QMessageBox::finished, this, [this] { m_state.setShowNetworkAlert(false); });

    connect(&state, &WindowState::errorMessageChanged, this,
            [this] { m_errorBox->setText(m_state.errorMessage()); });
    connect(&state, &WindowState::showErrorChanged, this, &WindowAlerts::syncError);
    connect(&state, &WindowState::showNetworkAlertChanged, this, &WindowAlerts::syncNetwork);
    retranslate();
}

void WindowAlerts::showErrorAlert(const QString &text)
{
    m_state.setErrorMessage(text);
    m_state.setShowError(true);
}

void WindowAlerts::syncError()
{
    if (m_state.showError() == m_errorBox->isVisible())
        return;
    if (m_state.showError()) {
        m_errorBox->setText(m_state.errorMessage());
        m_errorBox->open();
    } else {
        m_errorBox->done(QMessageBox::Cancel);
    }
}

void WindowAlerts::syncNetwork()
{
    if (m_state.showNetworkAlert() == m_networkBox->isVisible())
        return;
    if (m_state.showNetworkAlert())
        m_networkBox->open();
    else
        m_networkBox->done(QMessageBox::Cancel);
}

void WindowAlerts::retranslate()
{
    m_errorBox->setWindowTitle(tr("Error"));
    m_viewLog->setText(tr("View Log"));
    m_errorOK->setText(tr("OK"));
    m_networkBox->setWindowTitle(tr("Network Error"));
    m_networkBox->setText(tr("Network unavailable. Map tiles cannot be loaded offline."));
    m_networkOK->setText(tr("OK"));
}

} // namespace routereel
