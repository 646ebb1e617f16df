#pragma once

// A real export queue over fake ffmpeg scripts for the queue bar, history and
// cache sheet tests: outputs under "slow/" run until cancelled, others finish
// at once, and a task without segments fails before ffmpeg starts.
#include "export/exporttestutil.h"

#include "export/exportqueue.h"
#include "support/testartifacts.h"
#include "support/urlcatcher.h"
#include "tracks/logstore.h"
#include "ui/state/windowstate.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

#include <memory>

namespace panelstest {

using namespace routereel;

struct QueueFixture {
    QueueFixture()
    {
        QDir(dir.path()).mkpath(QStringLiteral("slow"));
        testsupport::FakeFfmpegSpec spec;
        spec.runBody = QStringLiteral("for last; do :; done; case \"$last\" in */slow/*) exec sleep 600;; esac; "
                                      "cat > /dev/null; echo video > \"${last#file:}\"");
        exporttest::useFakeFfmpeg(*queue.exporter(), QDir(dir.path()).filePath(QStringLiteral("ffmpeg")), spec);
        queue.setLogStore(&log);
    }
    ~QueueFixture()
    {
        queue.setTerminationCompletion([] {});
        if (queue.current())
            queue.exporter()->cancel();
        exporttest::waitFor([&] { return !queue.current(); }, 30'000);
    }
    ExportTask task(const QString &name, bool slow = false)
    {
        return exporttest::overlayTask(QDir(dir.path()).filePath((slow ? QStringLiteral("slow/") : QString()) + name),
                                       1);
    }
    ExportTask failing(const QString &name)
    {
        ExportTask t = task(name);
        t.segments.clear();
        return t;
    }

    QTemporaryDir dir;
    LogStore log;
    WindowState state;
    ExportQueue queue;
};

// The widgets named `name` under `root` that are not hidden on purpose: replaced rows are
// hidden until they are deleted, new ones are shown by the next event loop pass.
template <typename T = QWidget>
QList<T *> shown(const QWidget *root, const QString &name)
{
    const auto hidden = [](const QWidget *w) {
        return w && w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide);
    };
    QList<T *> result;
    for (T *w : root->findChildren<T *>(name))
        if (!hidden(w) && !hidden(w->parentWidget()))
            result << w;
    return result;
}

// Whether a label under `root` shows exactly `text`.
inline bool showsText(const QWidget &root, const QString &text)
{
    for (const QLabel *label : root.findChildren<QLabel *>())
        if (label->isVisible() && label->text() == text)
            return true;
    return false;
}

// The shown push button with `text` under `root`.
inline QPushButton *button(const QWidget &root, const QString &text)
{
    for (QPushButton *b : root.findChildren<QPushButton *>())
        if (b->isVisible() && b->text() == text)
            return b;
    return nullptr;
}

using testsupport::UrlCatcher;

// The interface in Simplified Chinese while it lives, as the window switches it.
struct Chinese {
    explicit Chinese(WindowState &state) : state(state)
    {
        EXPECT_TRUE(translator.load(QStringLiteral(":/i18n/ui_panels_zh_CN.qm")));
        QCoreApplication::installTranslator(&translator);
        state.setAppLanguage(QStringLiteral("zh-Hans"));
    }
    ~Chinese()
    {
        QCoreApplication::removeTranslator(&translator);
        state.setAppLanguage(QStringLiteral("en"));
    }
    WindowState &state;
    QTranslator translator;
};

// The shown widgets under `root` that Tab reaches but assistive tools find no name for, one a line.
inline std::string unnamedTabStops(const QWidget &root)
{
    QStringList unnamed;
    for (QWidget *w : root.findChildren<QWidget *>()) {
        if (!w->isVisible() || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        QAccessibleInterface *node = QAccessible::queryAccessibleInterface(w);
        if (!node || node->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
    }
    return unnamed.join(QLatin1Char('\n')).toStdString();
}

inline void saveShot(QWidget &widget, const QString &name)
{
    // Language and palette changes arrive as events and show their new rows an event later.
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    EXPECT_TRUE(saveTestArtifact(widget.grab().toImage(), name));
}

} // namespace panelstest
