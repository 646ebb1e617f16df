#pragma once

namespace routereel {

// Must run before the QApplication is created: registers the URL scheme that
// serves the bundled map libraries and sets the Chromium environment that web
// maps need on Linux (no sandbox as root, WebGL on software GL).
void prepareWebMapRuntime();

} // namespace routereel
