#include "inspectorsection.h"

#include "inspectorsectionheader.h"
#include "inspectorsectionheaderstyle.h"
#include "inspectortogglerow.h"
#include "ui/state/windowstate.h"

#include <QVBoxLayout>

namespace routereel {

InspectorSection::InspectorSection(const QString &key, WindowState &state, QWidget *parent)
    : QWidget(parent)
    , m_key(key)
    , m_state(state)
    , m_header(new InspectorSectionHeader(key))
    , m_content(new QWidget(this))
    , m_contentLayout(new QVBoxLayout(m_content))
    , m_rows(new QWidget(m_content))
    , m_rowsLayout(new QVBoxLayout(m_rows))
{
    setObjectName(key);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new InspectorSectionHeaderStyle(m_header, this));
    layout->addWidget(m_content);
    m_contentLayout->setContentsMargins(12, 10, 12, 10);
    m_contentLayout->setSpacing(12);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(12);

    connect(m_header, &QAbstractButton::clicked, this, [this] {
        QSet<QString> collapsed = m_state.collapsedSections();
        if (!collapsed.remove(m_key))
            collapsed.insert(m_key);
        m_state.setCollapsedSections(collapsed);
    });
    connect(&m_state, &WindowState::collapsedSectionsChanged, this, [this] { applyCollapse(true); });
    applyCollapse(false);
}

bool InspectorSection::isCollapsed() const
{
    return m_state.collapsedSections().contains(m_key);
}

void InspectorSection::setEnabledSetting(std::function<bool()> read, std::function<void(bool)> write)
{
    m_readEnabled = read;
    m_enabled = new InspectorToggleRow(QT_TRANSLATE_NOOP("SettingsPanelView", "Enabled"), std::move(read),
                                       std::move(write), m_content);
    m_contentLayout->addWidget(m_enabled);
    m_contentLayout->addWidget(m_rows);
}

void InspectorSection::addRowWidget(QWidget *row)
{
    m_rowsLayout->addWidget(row);
}

void InspectorSection::refresh()
{
    m_enabled->refresh();
    for (const auto &refresher : m_refreshers)
        refresher();
    m_rows->setVisible(m_readEnabled());
}

void InspectorSection::applyCollapse(bool animated)
{
    const bool collapsed = isCollapsed();
    m_header->setExpanded(!collapsed, animated);
    m_content->setVisible(!collapsed);
}

} // namespace routereel
