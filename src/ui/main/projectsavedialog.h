#pragma once

#include <QFileDialog>

#include <optional>

namespace routereel {

// The panel of Save Project and Save As: a name typed without ".rrl" gets it
// before the panel asks whether to replace a file of that name, so the
// question is about the file that will be written.
class ProjectSaveDialog : public QFileDialog {
    Q_OBJECT

public:
    using QFileDialog::QFileDialog;

    // The chosen file, ending in ".rrl"; none when the user cancels.
    static std::optional<QUrl> choose(QWidget *parent, const QString &title, const QString &filter,
                                      const QString &proposal);

    // `path` as it is saved: with ".rrl" added unless it already ends so.
    static QString projectFileName(const QString &path);

    void accept() override;
};

} // namespace routereel
