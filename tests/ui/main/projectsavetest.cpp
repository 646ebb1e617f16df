#include "ui/main/mainwindow.h"
#include "ui/main/windowcommands.h"

#include "project/projectsession.h"

#include "support/waitfor.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QCompleter>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ProjectSave, ANameTypedWithoutTheExtensionIsAskedAboutBeforeItIsReplaced)
{
    QTemporaryDir dir;
    const QString other = dir.filePath(QStringLiteral("other.rrl"));
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"version\": 5, \"earlier\": true}\n");
    }
    const QByteArray before = contents(other);
    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();

    QString question;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        dialog->setDirectory(dir.path());
        // Listed first, as the user sees it: the name's completion then shows at once, not later.
        auto *list = dialog->findChild<QListView *>(QStringLiteral("listView"));
        ASSERT_TRUE(list);
        ASSERT_TRUE(testsupport::waitFor([&] { return list->model()->rowCount(list->rootIndex()) == 1; }));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(name);
        name->clear();
        QTest::keyClicks(name, QStringLiteral("other"));
        if (name->completer() && name->completer()->popup()->isVisible())
            QTest::keyClick(name->completer()->popup(), Qt::Key_Escape);
        // The question runs its own loop: decline it from there, then leave the panel.
        auto *answer = new QTimer(dialog);
        QObject::connect(answer, &QTimer::timeout, dialog, [&, dialog] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                question = box->text();
                QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
            } else if (QApplication::activeModalWidget() == dialog) {
                dialog->reject();
            }
        });
        answer->start(100);
        QTest::keyClick(name, Qt::Key_Return);
    });
    window.commands().saveProjectAs()->trigger();

    EXPECT_EQ(question, QStringLiteral("other.rrl already exists.\nDo you want to replace it?"));
    EXPECT_EQ(contents(other), before);
    EXPECT_EQ(window.session().projectURL(), std::nullopt);
}
