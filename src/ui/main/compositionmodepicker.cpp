#include "compositionmodepicker.h"

#include "framedcheckbox.h"

#include "export/exportpreset.h"
#include "ui/panels/inspector/checkedtabstop.h"
#include "ui/state/windowstate.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace routereel {

namespace {

constexpr CompositionMode modes[] = {CompositionMode::regular, CompositionMode::overlay};

} // namespace

CompositionModePicker::CompositionModePicker(WindowState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_caption(new QLabel(QStringLiteral("MODE"), this)),
      m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("modePicker"));
    QFont caption = m_caption->font();
    caption.setPixelSize(11);
    caption.setWeight(QFont::DemiBold);
    m_caption->setFont(caption);
    m_caption->setForegroundRole(QPalette::PlaceholderText);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);  // the window's mode bar pads it
    row->setSpacing(10);
    row->addWidget(m_caption, 0, Qt::AlignVCenter);
    for (CompositionMode mode : modes) {
        auto *box = new FramedCheckBox(this);
        box->setObjectName(enumText(mode));
        // Tab reaches the checked box and the arrows switch; a click leaves focus (and Space) where it was.
        box->setFocusPolicy(Qt::TabFocus);
        QFont small = box->font();
        small.setPixelSize(11);
        box->setFont(small);
        box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        m_group->addButton(box, int(enumCases<CompositionMode>().indexOf(mode)));
        row->addWidget(box, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    m_tabStop = new CheckedTabStop(m_group);
    // The group is exclusive: the checked box cannot be unchecked, so a click on it
    // changes nothing. Toggles are followed, not clicks: assistive tools toggle.
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            selectCompositionMode(enumCases<CompositionMode>().value(id));
    });
    connect(&m_state, &WindowState::compositionModeChanged, this, &CompositionModePicker::showMode);
    retranslate();
    showMode();
}

FramedCheckBox *CompositionModePicker::box(CompositionMode mode) const
{
    return static_cast<FramedCheckBox *>(m_group->button(int(enumCases<CompositionMode>().indexOf(mode))));
}

void CompositionModePicker::selectCompositionMode(CompositionMode mode)
{
    if (m_state.compositionMode() == mode)
        return;
    // The preset first: an open export sheet replaces a preset that the new mode does not
    // offer as soon as the mode changes, which would pre-empt Original's move to 1080p.
    if (mode == CompositionMode::overlay)
        m_state.setSelectedPreset(overlayPresetFor(m_state.selectedPreset()));
    m_state.setCompositionMode(mode);
}

void CompositionModePicker::showMode()
{
    {
        const QSignalBlocker blocker(m_group);
        box(m_state.compositionMode())->setChecked(true);
    }
    m_tabStop->refresh();
}

void CompositionModePicker::retranslate()
{
    box(CompositionMode::regular)->setText(tr("Regular"));
    box(CompositionMode::overlay)->setText(tr("Overlay"));
    for (QAbstractButton *button : m_group->buttons())
        button->setAccessibleName(button->text());
    m_caption->setAccessibleName(m_caption->text());
}

void CompositionModePicker::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

} // namespace routereel
