#include "windowsheets.h"

#include "ui/panels/screenfit.h"
#include "ui/state/windowstate.h"

namespace routereel {

WindowSheets::WindowSheets(WindowState &state, QWidget *window)
    : QObject(window), m_state(state), m_window(window)
{
    connect(&state, &WindowState::showTokenSheetChanged, this, [this] { sync(Sheet::token); });
    connect(&state, &WindowState::showCacheSheetChanged, this, [this] { sync(Sheet::cache); });
    connect(&state, &WindowState::showLogSheetChanged, this, [this] { sync(Sheet::log); });
    connect(&state, &WindowState::showExportSheetChanged, this, [this] { sync(Sheet::exportSettings); });
    connect(&state, &WindowState::showFeedbackSheetChanged, this, [this] { sync(Sheet::feedback); });
}

bool WindowSheets::flag(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::token: return m_state.showTokenSheet();
    case Sheet::cache: return m_state.showCacheSheet();
    case Sheet::log: return m_state.showLogSheet();
    case Sheet::exportSettings: return m_state.showExportSheet();
    case Sheet::feedback: return m_state.showFeedbackSheet();
    }
    return false;
}

void WindowSheets::setFlag(Sheet sheet, bool value)
{
    switch (sheet) {
    case Sheet::token: return m_state.setShowTokenSheet(value);
    case Sheet::cache: return m_state.setShowCacheSheet(value);
    case Sheet::log: return m_state.setShowLogSheet(value);
    case Sheet::exportSettings: return m_state.setShowExportSheet(value);
    case Sheet::feedback: return m_state.setShowFeedbackSheet(value);
    }
}

void WindowSheets::setFactory(Sheet sheet, Factory factory)
{
    m_entries[index(sheet)].factory = std::move(factory);
    sync(sheet);
}

void WindowSheets::sync(Sheet sheet)
{
    Entry &entry = m_entries[index(sheet)];
    if (!flag(sheet)) {
        if (entry.dialog)
            entry.dialog->reject();
        return;
    }
    if (entry.dialog || !entry.factory)
        return;
    QDialog *dialog = entry.factory(m_window);
    if (!dialog)
        return;
    entry.dialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    screenfit::fitSheet(dialog);
    connect(dialog, &QDialog::finished, this, [this, sheet] { setFlag(sheet, false); });
    dialog->open();
}

} // namespace routereel
