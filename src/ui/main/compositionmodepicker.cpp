#include "compositionmodepicker.h"

#include "ui/state/windowstate.h"

#include "export/exportpreset.h"
#include "ui/panels/inspector/segmentbutton.h"

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
    auto *strip = new QHBoxLayout;
    strip->setSpacing(0);
    for (CompositionMode mode : modes) {
        auto *button = new SegmentButton(mode == CompositionMode::regular ? SegmentButton::Place::first
                                                                          : SegmentButton::Place::last,
                                         this);
        button->setObjectName(enumText(mode));
        button->setFocusPolicy(Qt::NoFocus);
        QFont small = button->font();
        small.setPixelSize(11);
        button->setFont(small);
        m_group->addButton(button, int(enumCases<CompositionMode>().indexOf(mode)));
        strip->addWidget(button);
    }
    row->addLayout(strip, 1);
    // The group is exclusive: a click on the chosen segment leaves it chosen and changes nothing.
    connect(m_group, &QButtonGroup::idClicked, this,
            [this](int id) { selectCompositionMode(enumCases<CompositionMode>().value(id)); });
    connect(&m_state, &WindowState::compositionModeChanged, this, &CompositionModePicker::showMode);
    retranslate();
    showMode();
}

QAbstractButton *CompositionModePicker::segment(CompositionMode mode) const
{
    return m_group->button(int(enumCases<CompositionMode>().indexOf(mode)));
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
    const QSignalBlocker blocker(m_group);
    segment(m_state.compositionMode())->setChecked(true);
}

void CompositionModePicker::retranslate()
{
    segment(CompositionMode::regular)->setText(tr("Regular"));
    segment(CompositionMode::overlay)->setText(tr("Overlay"));
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
