#include "tokensheet.h"

#include "linkbutton.h"
#include "ui/state/windowstate.h"

#include "ui/panels/focusview.h"
#include "ui/panels/panelstyle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace routereel {

using panelstyle::Tone;

TokenSheet::TokenSheet(WindowState &state, Draft draft, const ProductLinks &links, QWidget *parent)
    : QDialog(parent),
      m_state(state),
      m_draft(draft ? std::move(draft) : std::make_shared<std::optional<QString>>()),
      m_links(links),
      m_title(new QLabel(this)),
      m_caption(new QLabel(this)),
      m_help(new LinkButton(this)),
      m_field(new QLineEdit(this)),
      m_cancel(new QPushButton(this)),
      m_save(new QPushButton(this))
{
    setObjectName(QStringLiteral("tokenSheet"));
    setFixedWidth(sheetWidth);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(16);

    m_title->setFont(panelstyle::font(15, QFont::DemiBold));
    m_caption->setFont(panelstyle::font(11));
    panelstyle::setTone(m_caption, Tone::secondary);
    m_help->setObjectName(QStringLiteral("tokenHelp"));
    m_help->setFont(panelstyle::font(11));
    m_help->setVisible(!m_links.mapboxTokenHelpURL.isEmpty());
    connect(m_help, &QAbstractButton::clicked, this, [this] { m_links.openLink(m_links.mapboxTokenHelpURL); });

    m_field->setObjectName(QStringLiteral("tokenField"));
    m_field->setPlaceholderText(QStringLiteral("pk.q8Wm2Zr..."));
    m_field->setText(m_draft->value_or(state.mapboxToken()));
    m_field->setMinimumWidth(sheetWidth - 2 * 28);
    connect(m_field, &QLineEdit::textChanged, this, [this](const QString &text) {
        *m_draft = text;
        m_save->setEnabled(!text.isEmpty());  // spaces count: the token is taken as typed
    });

    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_save->setObjectName(QStringLiteral("save"));
    m_save->setDefault(true);
    panelstyle::makeProminent(m_save);
    focusview::showFocusRing(m_save);  // the style's focus mark does not show on the accent
    m_save->setEnabled(!m_field->text().isEmpty());
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, &TokenSheet::save);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_save);

    for (QWidget *w : {static_cast<QWidget *>(m_title), static_cast<QWidget *>(m_caption),
                       static_cast<QWidget *>(m_help)})
        column->addWidget(w, 0, Qt::AlignHCenter);
    column->addWidget(m_field);
    column->addLayout(buttons);
    buttons->setAlignment(Qt::AlignHCenter);
    // The sheet is there to take the token: the field has the keyboard, not the help link before it.
    m_field->setFocus();
    retranslate();
}

void TokenSheet::save()
{
    const QString token = m_field->text();
    if (token.isEmpty())
        return;
    // Stored as typed: a token of spaces is the user's to keep.
    QSettings().setValue(QStringLiteral("mapboxToken"), token);
    m_state.setMapboxToken(token);
    accept();
}

void TokenSheet::retranslate()
{
    setWindowTitle(tr("Mapbox Access Token"));
    m_title->setText(tr("Mapbox Access Token"));
    m_caption->setText(tr("Enter your Mapbox public token to display the map."));
    m_help->setText(tr("How to get a Mapbox token →"));
    m_field->setAccessibleName(tr("Mapbox Access Token"));
    m_cancel->setText(tr("Cancel"));
    m_save->setText(tr("Save"));
}

void TokenSheet::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        panelstyle::makeProminent(m_save);
    focusview::showFocusRing(m_save);  // the style's focus mark does not show on the accent
    panelstyle::followChange(this, event, [this] { retranslate(); });
    QDialog::changeEvent(event);
}

} // namespace routereel
