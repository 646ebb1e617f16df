#pragma once

#include <QStringList>

namespace routereel {

// How far this process has read the files at `paths`: the sum over its open
// descriptors on them of their offset plus one (a file just opened counts).
// Grows while a reader moves on, however slow its disk; asks the kernel's
// table of this process only, never the disk, so it is safe on the window's
// thread even while a share does not answer. 0 where the table cannot be read.
qint64 readPosition(const QStringList &paths);

} // namespace routereel
