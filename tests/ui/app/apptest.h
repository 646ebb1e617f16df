#pragma once

// Answers the shell's modal alerts for the tests, recording what each showed.
#include "support/testartifacts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

namespace apptest {

struct Alert {
    QString name;
    QString text;
    QString informative;
    QString buttons;  // sorted, joined by "|": the platform decides their places
    bool plainInformative = false;
};

// While it lives, every modal message box is recorded (and saved as `screenshot`,
// when given) and answered by clicking the button with the text `answer`.
class AlertAnswerer {
public:
    explicit AlertAnswerer(QString answer, QString screenshot = {})
        : m_answer(std::move(answer)), m_screenshot(std::move(screenshot))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(5);
    }

    QList<Alert> alerts;

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Alert alert{box->objectName(), box->text(), box->informativeText(), {}, false};
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            alert.plainInformative = label->textFormat() == Qt::PlainText;
        QAbstractButton *answer = nullptr;
        QStringList buttons;
        for (QAbstractButton *button : box->buttons()) {
            buttons << QString(button->text()).replace(QLatin1String("&&"), QLatin1String("&"));
            if (buttons.last() == m_answer)
                answer = button;
        }
        buttons.sort();
        alert.buttons = buttons.join(QLatin1Char('|'));
        alerts << alert;
        if (!m_screenshot.isEmpty())
            saveTestArtifact(box->grab().toImage(), m_screenshot);
        if (answer)
            answer->click();
        else
            box->reject();
    }

    QString m_answer;
    QString m_screenshot;
    QTimer m_timer;
};

} // namespace apptest
