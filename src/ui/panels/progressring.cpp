#include "progressring.h"

#include "panelstyle.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

constexpr double minimumArc = 0.001;

double arcOf(double progress)
{
    return std::clamp(std::max(progress, minimumArc), minimumArc, 1.0);
}

} // namespace

ProgressRing::ProgressRing(QWidget *parent) : QWidget(parent)
{
    setFixedSize(28, 28);
    m_animation.setDuration(200);
    m_animation.setEasingCurve(QEasingCurve::Linear);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_shown = value.toDouble();
        update();
    });
}

void ProgressRing::setProgress(std::optional<double> progress)
{
    if (progress && !std::isfinite(*progress))
        progress = 0.0;
    const bool wasShown = m_progress.has_value();
    m_progress = progress;
    m_animation.stop();
    if (!progress) {
        update();
        return;
    }
    const double target = arcOf(*progress);
    if (!wasShown) {
        // A new task: its arc starts where it is, with no glide from the last one.
        m_shown = target;
        update();
        return;
    }
    m_animation.setStartValue(m_shown);
    m_animation.setEndValue(target);
    m_animation.start();
}

std::optional<double> ProgressRing::arcFraction() const
{
    if (!m_progress)
        return std::nullopt;
    return arcOf(*m_progress);
}

void ProgressRing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(QPointF(width() / 2.0 - 12, height() / 2.0 - 12), QSizeF(24, 24));
    QColor track = panelstyle::color(panelstyle::Tone::secondary, palette());
    track.setAlphaF(0.2f);
    painter.setPen(QPen(track, 2));
    painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
    if (!m_progress)
        return;
    painter.setPen(QPen(panelstyle::color(panelstyle::Tone::accent, palette()), 2, Qt::SolidLine, Qt::RoundCap));
    // Qt counts angles anticlockwise from 3 o'clock in 1/16 degree.
    const int span = -std::max(1, int(std::lround(m_shown * 360 * 16)));
    painter.drawArc(circle.adjusted(1, 1, -1, -1), 90 * 16, span);
}

} // namespace routereel
