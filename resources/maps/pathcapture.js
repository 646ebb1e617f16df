function captureStatic(fc, lng, lat, zoom) {
    _setSourceData('path', fc);
    map.jumpTo({ center: [lng, lat], zoom: zoom, bearing: 0, pitch: 0 });
    return waitForExportIdle(8000, true);
}
