#include "suffixsavedialog.h"

#include "ui/panels/screenfit.h"

#include <QFileInfo>

namespace routereel {

SuffixSaveDialog::SuffixSaveDialog(QWidget *parent, const QString &suffix) : QFileDialog(parent), m_suffix(suffix)
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    screenfit::fitPanel(this);
}

QString SuffixSaveDialog::withSuffix(const QString &path, const QString &suffix)
{
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) == 0)
        return path;
    return path + (path.endsWith(QLatin1Char('.')) ? suffix : QLatin1Char('.') + suffix);
}

void SuffixSaveDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1 && !chosen.first().isEmpty() && !QFileInfo(chosen.first()).isDir()) {
        const QString fixed = withSuffix(chosen.first(), m_suffix);
        if (fixed != chosen.first())
            selectFile(fixed);
    }
    QFileDialog::accept();
}

QUrl SuffixSaveDialog::choose(QWidget *parent, const QString &suffix, const QString &proposal,
                              const std::function<void(QFileDialog &)> &setUp)
{
    QString start = proposal;
    for (;;) {
        SuffixSaveDialog dialog(parent, suffix);
        if (setUp)
            setUp(dialog);
        dialog.setDefaultSuffix(suffix);
        dialog.selectFile(start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty())
            return {};
        const QUrl chosen = dialog.selectedUrls().constFirst();
        if (!chosen.isLocalFile())
            return chosen;
        const QString path = chosen.toLocalFile();
        const QString fixed = withSuffix(path, suffix);
        // A desktop's own panel may skip the check above; its confirmation of
        // another name does not cover the file that would now be replaced.
        if (fixed == path || !QFileInfo::exists(fixed))
            return QUrl::fromLocalFile(fixed);
        start = fixed;
    }
}

} // namespace routereel
