#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

namespace routereel {

// The clickable line of a section header: the title as it is (never translated)
// and a chevron that points down while the section is open and right while it
// is closed. A click anywhere on the line, the gap included, presses it.
class InspectorSectionHeader : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int turnMs = 200;

    explicit InspectorSectionHeader(const QString &title, QWidget *parent = nullptr);

    // Turns the chevron: over turnMs when `animated`, else at once.
    void setExpanded(bool expanded, bool animated);
    bool isExpanded() const { return m_expanded; }
    // Degrees: 90 open, 0 closed, in between while turning.
    double chevronAngle() const { return m_angle; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    bool m_expanded = true;
    double m_angle = 90;
    QVariantAnimation m_turn;
};

} // namespace routereel
