#pragma once

#include <QHash>
#include <QSizeF>
#include <QString>
#include <QWidget>

namespace routereel {

class AspectFitBox;

// The window's content: on the left the preview (kept at the canvas's aspect
// ratio) above a divider and the timeline panel; a divider; on the right a
// column 230 wide on the control background: the mode row, the inspector, a
// divider and the export bar. Each view has a named place ("previewArea",
// "timelinePanel", "modePicker", "inspector", "exportBar") that holds an
// empty widget until the view is put in.
class MainLayout : public QWidget {
    Q_OBJECT

public:
    static constexpr int columnWidth = 230;
    static constexpr QSize minimumContentSize{1060, 640};

    explicit MainLayout(QWidget *parent = nullptr);

    // Puts `view` in the named place (the layout takes it); the widget there goes.
    // Returns false for an unknown name.
    bool replacePlaceholder(const QString &name, QWidget *view);
    QWidget *place(const QString &name) const { return m_places.value(name); }

    void setCanvasSize(const QSizeF &canvas);
    // The inspector reacts and is drawn fully only once a track is loaded.
    void setInspectorEnabled(bool enabled);
    bool isInspectorEnabled() const { return m_inspectorEnabled; }

    void retranslate();

protected:
    void changeEvent(QEvent *event) override;

private:
    QWidget *placeholder(const QString &name, QSizePolicy::Policy horizontal, QSizePolicy::Policy vertical);
    void applyInspectorState();

    QHash<QString, QWidget *> m_places;
    AspectFitBox *m_previewBox;
    QWidget *m_modeRow;
    bool m_inspectorEnabled = false;
};

} // namespace routereel
