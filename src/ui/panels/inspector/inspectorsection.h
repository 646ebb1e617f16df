#pragma once

#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace routereel {

class InspectorSectionHeader;
class InspectorToggleRow;
class WindowState;

// One collapsible section of the inspector: a header bar with the section's key
// as title, then, while the section is open, the "Enabled" switch of its widget
// and, while that is on, the widget's further rows. Collapsing is kept in the
// window state's set of collapsed keys, so it changes no setting.
class InspectorSection : public QWidget {
    Q_OBJECT

public:
    InspectorSection(const QString &key, WindowState &state, QWidget *parent = nullptr);

    QString key() const { return m_key; }
    bool isCollapsed() const;
    InspectorSectionHeader *header() const { return m_header; }
    InspectorToggleRow *enabledToggle() const { return m_enabled; }
    // The rows under the switch; hidden while the widget is off.
    QWidget *rows() const { return m_rows; }

    // Reads every row again from the settings; writes nothing.
    void refresh();

protected:
    void setEnabledSetting(std::function<bool()> read, std::function<void(bool)> write);

    // Adds a row shown while the widget is enabled; one with refresh() is read again on every refresh.
    template <typename Row>
    Row *addRow(Row *row)
    {
        addRowWidget(row);
        if constexpr (requires { row->refresh(); })
            m_refreshers.append([row] { row->refresh(); });
        return row;
    }
    // Extra work of a refresh, such as rows that depend on another setting.
    void onRefresh(std::function<void()> refresher) { m_refreshers.append(std::move(refresher)); }

private:
    void addRowWidget(QWidget *row);
    void applyCollapse(bool animated);

    QString m_key;
    WindowState &m_state;
    InspectorSectionHeader *m_header;
    QWidget *m_content;
    QVBoxLayout *m_contentLayout;
    InspectorToggleRow *m_enabled = nullptr;
    std::function<bool()> m_readEnabled;
    QWidget *m_rows;
    QVBoxLayout *m_rowsLayout;
    QList<std::function<void()>> m_refreshers;
};

} // namespace routereel
