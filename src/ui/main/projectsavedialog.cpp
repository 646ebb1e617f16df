#include "projectsavedialog.h"

#include <QFileInfo>

namespace routereel {

QString ProjectSaveDialog::projectFileName(const QString &path)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("rrl"), Qt::CaseInsensitive) == 0)
        return path;
    return path + (path.endsWith(QLatin1Char('.')) ? QStringLiteral("rrl") : QStringLiteral(".rrl"));
}

void ProjectSaveDialog::accept()
{
    const QStringList chosen = selectedFiles();
    if (chosen.size() == 1 && !chosen.first().isEmpty() && !QFileInfo(chosen.first()).isDir()) {
        const QString fixed = projectFileName(chosen.first());
        if (fixed != chosen.first())
            selectFile(fixed);
    }
    QFileDialog::accept();
}

std::optional<QUrl> ProjectSaveDialog::choose(QWidget *parent, const QString &title, const QString &filter,
                                              const QString &proposal)
{
    QString start = proposal;
    for (;;) {
        ProjectSaveDialog dialog(parent, title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(filter);
        dialog.setDefaultSuffix(QStringLiteral("rrl"));
        dialog.selectFile(start);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString path = dialog.selectedFiles().constFirst();
        if (path.isEmpty())
            return std::nullopt;
        const QString fixed = projectFileName(path);
        // A desktop's own panel may skip the check above; its confirmation of
        // another name does not cover the file that would now be replaced.
        if (fixed == path || !QFileInfo::exists(fixed))
            return QUrl::fromLocalFile(fixed);
        start = fixed;
    }
}

} // namespace routereel
