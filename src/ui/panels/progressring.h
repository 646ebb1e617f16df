#pragma once

#include <QVariantAnimation>
#include <QWidget>

#include <optional>

namespace routereel {

// The queue bar's ring: a faint circle, and while a task runs an arc from
// 12 o'clock clockwise over its progress (a dot at 0 %).
class ProgressRing : public QWidget {
    Q_OBJECT

public:
    explicit ProgressRing(QWidget *parent = nullptr);

    // None: no task runs, no arc. Changes of a shown arc glide over 0.2 s.
    void setProgress(std::optional<double> progress);
    // The fraction the arc is heading for (at least 0.001), none without an arc.
    std::optional<double> arcFraction() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<double> m_progress;
    double m_shown = 0;
    QVariantAnimation m_animation;
};

} // namespace routereel
