#pragma once

#include <QColor>
#include <QSize>
#include <QString>

namespace testsupport {

// A "data:image/png;base64,..." URL of one colour, as a page's capture answers.
QString pngDataUrl(QSize size, QColor colour);

} // namespace testsupport
