function _showStatic(fc, lng, lat, zoom) {
    _setSourceData('path', fc);
    map.jumpTo({ center: [lng, lat], zoom: zoom, bearing: 0, pitch: 0 });
}

function captureStatic(fc, lng, lat, zoom) {
    _showStatic(fc, lng, lat, zoom);
    return waitForExportIdle(8000, true);
}

// The same picture read back raw: shown and waited for here, then read by
// staticPixels, with no PNG to encode.
function showStatic(fc, lng, lat, zoom) {
    _showStatic(fc, lng, lat, zoom);
    return waitForExportIdle(8000, false);
}

function staticPixels() {
    map.redraw();
    return _drawnCompletely() ? _readPixels() : 'wait';
}
