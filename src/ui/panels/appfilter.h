#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace routereel {

// Marks `root` with `property` for an application-wide event filter of type
// Filter, installed once: one filter serves every marked tree, and it finds
// them by walking up from the widget that gets the event.
template <typename Filter>
void markForAppFilter(QWidget *root, const char *property)
{
    static QPointer<QObject> filter;
    if (!filter && qApp) {
        filter = new Filter(qApp);
        qApp->installEventFilter(filter);
    }
    root->setProperty(property, true);
}

} // namespace routereel
