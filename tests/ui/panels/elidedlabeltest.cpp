#include "ui/panels/elidedlabel.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <gtest/gtest.h>

using namespace routereel;

// A text cut to its width shows whole as the tooltip; a text that fits, or a
// label with a tooltip of its own, leaves the tooltip alone.
TEST(ElidedLabel, ShortenedTextShowsWholeAsTheTooltip)
{
    const QString longName = QStringLiteral("a ride along the lake shore on a sunny morning in May.rrl");
    struct Case {
        QString text;
        QString ownTip;
        int maxLines;
        QString expected;
    };
    const Case cases[] = {
        {longName, {}, 1, longName},
        {longName, {}, 2, longName},
        {longName, QStringLiteral("/home/rider/ride.rrl"), 1, QStringLiteral("/home/rider/ride.rrl")},
        {QStringLiteral("ride"), {}, 1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(c.maxLines));
        QToolTip::hideText();
        ElidedLabel label(Qt::ElideMiddle, c.maxLines);
        label.setText(c.text);
        label.setToolTip(c.ownTip);
        label.resize(80, 60);
        label.show();
        EXPECT_EQ(label.isElided(), c.text == longName);
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&label, &help);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), c.expected);
    }
}
