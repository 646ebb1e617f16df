#include "feedbacksheet.h"

#include "linkbutton.h"

#include "ui/panels/panelstyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace routereel {

using panelstyle::Tone;

FeedbackSheet::FeedbackSheet(const ProductLinks &links, QWidget *parent)
    : QDialog(parent),
      m_links(links),
      m_title(new QLabel(this)),
      m_caption(new QLabel(this)),
      m_rows(new QWidget(this)),
      m_close(new QPushButton(this))
{
    setObjectName(QStringLiteral("feedbackSheet"));
    setFixedWidth(sheetWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(14);
    m_title->setFont(panelstyle::font(15, QFont::DemiBold));
    m_caption->setFont(panelstyle::font(11));
    panelstyle::setTone(m_caption, Tone::secondary);

    auto *rows = new QVBoxLayout(m_rows);
    rows->setContentsMargins(0, 6, 0, 6);
    rows->setSpacing(10);
    m_email = addRow(m_links.feedbackEmail.isEmpty() ? QString() : QStringLiteral("mailto:") + m_links.feedbackEmail);
    m_email->setObjectName(QStringLiteral("email"));
    m_email->setSymbol(QStringLiteral("envelope.fill"));
    m_social = addRow(m_links.socialProfileURL);
    m_social->setObjectName(QStringLiteral("social"));
    m_social->setSymbol(QStringLiteral("bird"));
    m_chat = addRow(m_links.chatInvitationURL);
    m_chat->setObjectName(QStringLiteral("chat"));
    m_chat->setSymbol(QStringLiteral("paperplane.fill"));
    // The e-mail address and the handle are shown as they are; only the chat row has a title to translate.
    m_email->setText(m_links.feedbackEmail);
    m_social->setText(m_links.socialHandle.isEmpty() ? m_links.socialProfileURL : m_links.socialHandle);

    m_close->setObjectName(QStringLiteral("close"));
    m_close->setAutoDefault(false);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_close);

    column->addWidget(m_title);
    column->addWidget(m_caption);
    column->addWidget(m_rows);
    column->addLayout(bottom);
    retranslate();
}

LinkButton *FeedbackSheet::addRow(const QString &address)
{
    auto *row = new LinkButton(m_rows);
    row->setSymbolFrameWidth(18);
    row->setSymbolFont(panelstyle::font(14));
    row->setFont(panelstyle::font(13));
    row->setVisible(!address.isEmpty());
    m_rows->layout()->addWidget(row);
    connect(row, &QAbstractButton::clicked, this, [this, address] { m_links.openLink(address); });
    return row;
}

void FeedbackSheet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Opens with no control holding the keyboard: Qt gives the first one focus
    // when the sheet becomes active, so take it back just after that.
    m_clearFocusOnActivation = true;
    if (isActiveWindow())
        QTimer::singleShot(0, this, &FeedbackSheet::clearFocusSoon);
}

bool FeedbackSheet::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_clearFocusOnActivation)
        QTimer::singleShot(0, this, &FeedbackSheet::clearFocusSoon);
    return QDialog::event(event);
}

void FeedbackSheet::clearFocusSoon()
{
    m_clearFocusOnActivation = false;
    if (QWidget *focused = focusWidget())
        focused->clearFocus();
}

void FeedbackSheet::retranslate()
{
    setWindowTitle(tr("Feedback"));
    m_title->setText(tr("Feedback"));
    m_caption->setText(tr("Found a bug or have a feature request? Reach out:"));
    m_chat->setText(tr("Telegram group"));
    m_close->setText(tr("Close"));
}

void FeedbackSheet::changeEvent(QEvent *event)
{
    panelstyle::followChange(this, event, [this] { retranslate(); });
    QDialog::changeEvent(event);
}

} // namespace routereel
