#pragma once

#include <QFileDialog>
#include <QUrl>

#include <functional>

namespace routereel {

// A save panel for one kind of file: a name typed without its extension gets it
// before the panel asks whether to replace a file of that name, so the question
// is about the file that will be written.
class SuffixSaveDialog : public QFileDialog {
    Q_OBJECT

public:
    SuffixSaveDialog(QWidget *parent, const QString &suffix);

    // Shows the panel, set up by `setUp` (title, filters), until the user picks a
    // name or cancels: the chosen file ending in "." + `suffix`, or an empty URL.
    static QUrl choose(QWidget *parent, const QString &suffix, const QString &proposal,
                       const std::function<void(QFileDialog &)> &setUp);

    // `path`, or `path` + "." + `suffix` when its extension is not `suffix` in any case.
    static QString withSuffix(const QString &path, const QString &suffix);

    void accept() override;

private:
    QString m_suffix;
};

} // namespace routereel
