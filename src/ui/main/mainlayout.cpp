#include "mainlayout.h"

#include "aspectfitbox.h"

#include "ui/panels/inspector/inspectorfade.h"
#include "ui/panels/inspector/inspectorsectionheaderstyle.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace routereel {

namespace {

QFrame *divider(QFrame::Shape shape)
{
    auto *line = new QFrame;
    line->setFrameShape(shape);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

} // namespace

MainLayout::MainLayout(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("mainContent"));
    setMinimumSize(minimumContentSize);

    m_previewBox = new AspectFitBox;
    m_previewBox->setObjectName(QStringLiteral("previewBox"));
    QWidget *preview = placeholder(QStringLiteral("previewArea"), QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Black like the video it stands for, so the canvas's shape shows until the preview lands.
    preview->setAutoFillBackground(true);
    QPalette black = preview->palette();
    black.setColor(QPalette::Window, Qt::black);
    preview->setPalette(black);
    m_previewBox->setContent(preview);

    auto *left = new QVBoxLayout;
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    left->addWidget(m_previewBox, 1);
    left->addWidget(divider(QFrame::HLine));
    QWidget *timeline = placeholder(QStringLiteral("timelinePanel"), QSizePolicy::Expanding, QSizePolicy::Fixed);
    timeline->setMinimumHeight(200);
    left->addWidget(timeline);

    // The mode bar wears the inspector's section header look.
    m_modeRow = new InspectorSectionHeaderStyle(
        placeholder(QStringLiteral("modePicker"), QSizePolicy::Expanding, QSizePolicy::Fixed));
    m_modeRow->setObjectName(QStringLiteral("modeRow"));

    auto *column = new QWidget;
    column->setObjectName(QStringLiteral("rightColumn"));
    column->setFixedWidth(columnWidth);
    column->setAutoFillBackground(true);
    column->setBackgroundRole(QPalette::Base);
    auto *right = new QVBoxLayout(column);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_modeRow);
    right->addWidget(placeholder(QStringLiteral("inspector"), QSizePolicy::Preferred, QSizePolicy::Expanding), 1);
    right->addWidget(divider(QFrame::HLine));
    right->addWidget(placeholder(QStringLiteral("exportBar"), QSizePolicy::Preferred, QSizePolicy::Fixed));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addLayout(left, 1);
    row->addWidget(divider(QFrame::VLine));
    row->addWidget(column);

    applyInspectorState();
    retranslate();
}

QWidget *MainLayout::placeholder(const QString &name, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical)
{
    auto *widget = new QWidget;
    widget->setObjectName(name);
    widget->setSizePolicy(horizontal, vertical);
    m_places.insert(name, widget);
    return widget;
}

bool MainLayout::replacePlaceholder(const QString &name, QWidget *view)
{
    QWidget *old = m_places.value(name);
    if (!old || !view || old == view)
        return false;
    if (name == QLatin1String("previewArea")) {
        m_places.insert(name, view);
        m_previewBox->setContent(view);
    } else {
        QWidget *holder = old->parentWidget();
        holder->layout()->replaceWidget(old, view);
        m_places.insert(name, view);
        delete old;
    }
    if (name == QLatin1String("inspector"))
        applyInspectorState();
    return true;
}

void MainLayout::setCanvasSize(const QSizeF &canvas)
{
    m_previewBox->setAspect(canvas);
}

void MainLayout::setInspectorEnabled(bool enabled)
{
    if (enabled == m_inspectorEnabled)
        return;
    m_inspectorEnabled = enabled;
    applyInspectorState();
}

void MainLayout::applyInspectorState()
{
    QWidget *inspector = m_places.value(QStringLiteral("inspector"));
    inspector->setEnabled(m_inspectorEnabled);
    auto *effect = qobject_cast<QGraphicsOpacityEffect *>(inspector->graphicsEffect());
    if (!effect) {
        effect = new InspectorFade(inspector);
        inspector->setGraphicsEffect(effect);
    }
    effect->setOpacity(m_inspectorEnabled ? 1.0 : 0.5);
}

void MainLayout::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void MainLayout::retranslate()
{
    m_modeRow->setAccessibleName(tr("Mode"));
}

} // namespace routereel
