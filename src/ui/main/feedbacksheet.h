#pragma once

#include "productlinks.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace routereel {

class LinkButton;

// The feedback sheet: ways to reach the makers (e-mail, social profile, chat
// group), each row shown only when the build has its address. It opens with
// no control holding the keyboard; Close and Escape close it.
class FeedbackSheet : public QDialog {
    Q_OBJECT

public:
    explicit FeedbackSheet(const ProductLinks &links, QWidget *parent = nullptr);

    static constexpr int sheetWidth = 560;

    LinkButton *emailRow() const { return m_email; }
    LinkButton *socialRow() const { return m_social; }
    LinkButton *chatRow() const { return m_chat; }
    QPushButton *closeButton() const { return m_close; }

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A row opening `address`, shown only when there is one.
    LinkButton *addRow(const QString &address);
    void retranslate();
    void clearFocusSoon();

    ProductLinks m_links;
    QLabel *m_title;
    QLabel *m_caption;
    QWidget *m_rows;
    LinkButton *m_email;
    LinkButton *m_social;
    LinkButton *m_chat;
    QPushButton *m_close;
    bool m_clearFocusOnActivation = false;
};

} // namespace routereel
