#include "inspectorpositionrow.h"

#include "inspectorlook.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace routereel {

InspectorPositionRow::InspectorPositionRow(WindowState &state, WidgetKind widget, QWidget *parent)
    : QWidget(parent)
    , m_caption(inspectorlook::makeCaption(this))
    , m_reset(inspectorlook::makeWideButton(this))
{
    setObjectName(QStringLiteral("Widget Position"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_caption);
    layout->addWidget(m_reset);
    // No undo step and no question: the position is only a placement.
    connect(m_reset, &QPushButton::clicked, this, [&state, widget] { state.setPosition(widget, std::nullopt); });
    retranslate();
}

void InspectorPositionRow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void InspectorPositionRow::retranslate()
{
    m_caption->setText(inspectorlook::translated(QT_TRANSLATE_NOOP("SettingsPanelView", "Widget Position")));
    m_reset->setText(inspectorlook::translated(QT_TRANSLATE_NOOP("SettingsPanelView", "Reset to Default")));
}

} // namespace routereel
