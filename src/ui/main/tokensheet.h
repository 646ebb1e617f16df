#pragma once

#include "productlinks.h"

#include <QDialog>

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace routereel {

class LinkButton;
class WindowState;

// The map token sheet: the user types the Mapbox access token into a draft;
// Save makes it the window's token and stores it exactly as typed, Cancel
// leaves the token in use and the stored one alone. The draft outlives the
// sheet, so opening it again shows what was typed last.
class TokenSheet : public QDialog {
    Q_OBJECT

public:
    // The text typed last, shared by every showing of the sheet; unset until the first edit.
    using Draft = std::shared_ptr<std::optional<QString>>;

    TokenSheet(WindowState &state, Draft draft, const ProductLinks &links, QWidget *parent = nullptr);

    static constexpr int sheetWidth = 560;

    QLineEdit *field() const { return m_field; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }
    LinkButton *helpLink() const { return m_help; }

    void save();

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    WindowState &m_state;
    Draft m_draft;
    ProductLinks m_links;
    QLabel *m_title;
    QLabel *m_caption;
    LinkButton *m_help;
    QLineEdit *m_field;
    QPushButton *m_cancel;
    QPushButton *m_save;
};

} // namespace routereel
