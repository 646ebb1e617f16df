#pragma once

#include <QSizeF>
#include <QWidget>

namespace routereel {

// Holds one child at the largest size of a given aspect ratio that fits,
// centred; the box itself takes whatever room it is given.
class AspectFitBox : public QWidget {
    Q_OBJECT

public:
    explicit AspectFitBox(QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }
    // The box takes ownership; the previous content is deleted.
    void setContent(QWidget *content);
    QSizeF aspect() const { return m_aspect; }
    void setAspect(const QSizeF &aspect);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();

    QWidget *m_content = nullptr;
    QSizeF m_aspect{1920, 1080};
};

} // namespace routereel
