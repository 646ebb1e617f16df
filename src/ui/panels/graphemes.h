#pragma once

#include <QString>

namespace routereel {

// The first `count` user-perceived characters of `text` (a flag or an accented
// letter made of several code points counts once); the whole text when shorter.
QString graphemePrefix(const QString &text, int count);

} // namespace routereel
