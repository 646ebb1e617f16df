// Export pages: a map that cannot get its style (the service refuses, its name
// does not resolve), or that has not loaded its first view in time, says so at
// once; the program then draws raster tiles instead of waiting for a page that
// would time out frame after frame. "In time" is `exportLoadDeadline` (ms since
// the epoch), set when the export started: a page slow to start has less left.
(function () {
    var styleLoaded = false;
    var settled = false;
    var timer = null;
    function fail(reason) {
        if (settled)
            return;
        settled = true;
        clearTimeout(timer);
        routereelPost('mapFailed', String(reason));
    }
    map.on('style.load', function () { styleLoaded = true; });
    map.on('load', function () {
        settled = true;
        clearTimeout(timer);
    });
    // Later errors (a missing tile, sprite or glyph) leave a usable map.
    map.on('error', function (e) {
        if (!styleLoaded)
            fail('style failed: ' + ((e && e.error && e.error.message) || 'unknown error'));
    });
    // setTimeout takes at most 2^31 - 1 ms; a longer wait would fire at once.
    var left = Math.min(Math.max(0, exportLoadDeadline - Date.now()), 2147483647);
    timer = setTimeout(function () { fail('map not loaded in time'); }, left);
})();
