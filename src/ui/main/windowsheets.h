#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <array>
#include <functional>

namespace routereel {

class WindowState;

// Presents the window's five sheets: each is a window-modal dialog built anew
// while its flag in the window state is set; closing the dialog clears the
// flag, clearing the flag closes the dialog. A sheet whose content has not been
// given yet shows nothing; it appears once given if its flag is still set.
class WindowSheets : public QObject {
    Q_OBJECT

public:
    enum class Sheet { token, cache, log, exportSettings, feedback };
    // Builds the sheet's dialog with the window as its parent.
    using Factory = std::function<QDialog *(QWidget *window)>;

    WindowSheets(WindowState &state, QWidget *window);

    void setFactory(Sheet sheet, Factory factory);
    QDialog *dialog(Sheet sheet) const { return m_entries[index(sheet)].dialog; }

private:
    struct Entry {
        Factory factory;
        QPointer<QDialog> dialog;
    };
    static std::size_t index(Sheet sheet) { return static_cast<std::size_t>(sheet); }
    bool flag(Sheet sheet) const;
    void setFlag(Sheet sheet, bool value);
    void sync(Sheet sheet);

    WindowState &m_state;
    QWidget *m_window;
    std::array<Entry, 5> m_entries;
};

} // namespace routereel
