#include "compositionmodepicker.h"

#include "ui/state/windowstate.h"

#include "export/exportpreset.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace routereel {

CompositionModePicker::CompositionModePicker(WindowState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_caption(new QLabel(QStringLiteral("MODE"), this)),
      m_regular(new QCheckBox(this)), m_overlay(new QCheckBox(this))
{
    setObjectName(QStringLiteral("modePicker"));
    QFont caption = m_caption->font();
    caption.setPixelSize(11);
    caption.setWeight(QFont::DemiBold);
    m_caption->setFont(caption);
    m_caption->setForegroundRole(QPalette::PlaceholderText);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);  // the window's mode row pads it
    row->setSpacing(10);
    row->addWidget(m_caption, 0, Qt::AlignVCenter);
    for (CompositionMode mode : {CompositionMode::regular, CompositionMode::overlay}) {
        QCheckBox *check = box(mode);
        check->setObjectName(enumText(mode));
        check->setFocusPolicy(Qt::NoFocus);
        QFont small = check->font();
        small.setPixelSize(11);
        check->setFont(small);
        check->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        row->addWidget(check, 0, Qt::AlignVCenter);
        // A click on the checked box unchecks it in Qt; showMode() puts the mark back.
        connect(check, &QCheckBox::clicked, this, [this, mode](bool checked) {
            if (checked)
                selectCompositionMode(mode);
            showMode();
        });
    }
    row->addStretch(1);
    connect(&m_state, &WindowState::compositionModeChanged, this, &CompositionModePicker::showMode);
    retranslate();
    showMode();
}

QCheckBox *CompositionModePicker::box(CompositionMode mode) const
{
    return mode == CompositionMode::overlay ? m_overlay : m_regular;
}

void CompositionModePicker::selectCompositionMode(CompositionMode mode)
{
    if (m_state.compositionMode() == mode)
        return;
    m_state.setCompositionMode(mode);
    if (mode == CompositionMode::overlay)
        m_state.setSelectedPreset(overlayPresetFor(m_state.selectedPreset()));
}

void CompositionModePicker::showMode()
{
    for (CompositionMode mode : {CompositionMode::regular, CompositionMode::overlay}) {
        const QSignalBlocker blocker(box(mode));
        box(mode)->setChecked(m_state.compositionMode() == mode);
    }
}

void CompositionModePicker::retranslate()
{
    m_regular->setText(tr("Regular"));
    m_overlay->setText(tr("Overlay"));
    m_caption->setAccessibleName(m_caption->text());
}

void CompositionModePicker::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace routereel
