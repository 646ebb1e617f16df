#include "graphemes.h"

#include <QTextBoundaryFinder>

namespace routereel {

QString graphemePrefix(const QString &text, int count)
{
    if (count <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (taken < count) {
        if (finder.toNextBoundary() < 0)
            return text;
        ++taken;
    }
    return text.left(finder.position());
}

} // namespace routereel
